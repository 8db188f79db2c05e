// PdfBookmarks: a document's outline as nested entries (title, page, children), read, or
// replaced by one the job gives in the same shape.
#include "processors/pdf/document/operation_context.h"
#include "processors/pdf/editing/outline.h"
#include "processors/pdf/run/job_parameters.h"
#include "processors/pdf/text/answer_text.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::ops {

namespace {

// The longest title "set" may give, in bytes.
constexpr std::size_t kMaxTitle = 1000;

KQ_TArray EntriesAnswer(const std::vector<editing::Bookmark>& bookmarks);

KQ_TDict EntryAnswer(const editing::Bookmark& bookmark) {
  KQ_TDict entry;
  entry["title"] = text::XmlSafeText(bookmark.title);
  if (bookmark.page > 0)
    entry["page"] = std::to_string(bookmark.page);
  if (!bookmark.children.empty())
    entry["bookmark"] = EntriesAnswer(bookmark.children);
  return entry;
}

// Recursion is bounded by kMaxBookmarkDepth, which ReadOutline and ReadEntries enforce.
KQ_TArray EntriesAnswer(const std::vector<editing::Bookmark>& bookmarks) {
  KQ_TArray entries;
  for (const editing::Bookmark& bookmark : bookmarks)
    entries.Append(EntryAnswer(bookmark));
  return entries;
}

// The entries of the array `name` in `parameters`, checked against the document's
// `pageCount` and the limits; `count` counts every entry read.
std::vector<editing::Bookmark> ReadEntries(const run::JobParameters& parameters,
                                           const std::string& name, int pageCount, int depth,
                                           long long& count) {
  if (depth > editing::kMaxBookmarkDepth)
    throw PdfError("parameter \"" + parameters.Name(name) + "\" nests deeper than " +
                   std::to_string(editing::kMaxBookmarkDepth) + " levels (at most " +
                   std::to_string(editing::kMaxBookmarkDepth) + ")");
  const KQ_TArray& array = parameters.Array(name);
  std::vector<editing::Bookmark> bookmarks;
  for (std::size_t i = 0; i < array.Count(); ++i) {
    std::string element = parameters.Name(name) + "[" + std::to_string(i + 1) + "]";
    if (++count > editing::kMaxBookmarks)
      throw PdfError("parameter \"" + parameters.Name(name) + "\" holds more than " +
                     std::to_string(editing::kMaxBookmarks) + " bookmarks (at most " +
                     std::to_string(editing::kMaxBookmarks) + ")");
    const KQ_TDict* entry = array[i].DynamicCast<KQ_TDict>();
    if (entry == nullptr)
      throw PdfError("parameter \"" + element + "\" must be a dictionary with \"title\"");
    run::JobParameters entryParameters(*entry, element + ".");
    editing::Bookmark bookmark;
    bookmark.title = entryParameters.String("title");
    if (bookmark.title.size() > kMaxTitle)
      throw PdfError("parameter \"" + entryParameters.Name("title") + "\" holds more than " +
                     std::to_string(kMaxTitle) + " bytes");
    for (unsigned char c : bookmark.title)
      if (c < 0x20 || c == 0x7f)
        throw PdfError("parameter \"" + entryParameters.Name("title") +
                       "\" holds a control character");
    if (std::optional<std::string> unfit = text::XmlUnfitReason(bookmark.title))
      throw PdfError("parameter \"" + entryParameters.Name("title") + "\" " + *unfit);
    bookmark.page = static_cast<int>(entryParameters.Integer("page", 0, 1, pageCount));
    if (entryParameters.Has("bookmark"))
      bookmark.children = ReadEntries(entryParameters, "bookmark", pageCount, depth + 1, count);
    bookmarks.push_back(std::move(bookmark));
  }
  return bookmarks;
}

}  // namespace

KQ_TDict PdfBookmarks(const run::JobParameters& parameters, document::OperationContext& context) {
  bool setting = parameters.Has("set");
  std::optional<std::string> outputName;
  std::unique_ptr<run::OutputFile> output =
      document::OutputIfSetting(parameters, context, setting, "the bookmarks to write", outputName);
  document::PdfFile input = document::OpenFileParameter(parameters, context);
  QPDF& pdf = *input.pdf;

  KQ_TDict answer;
  if (setting) {
    // An empty "set" (sent as "") removes the outline; an empty array sends nothing at all.
    std::vector<editing::Bookmark> bookmarks;
    long long count = 0;
    if (parameters.Has("setArray")) {
      bookmarks = ReadEntries(parameters, "set", input.PageCount(), 1, count);
    } else {
      std::optional<std::string> text;
      try {
        text = parameters.OptionalString("set");
      } catch (const PdfError&) {
      }
      if (!text || !text->empty())
        throw PdfError("parameter \"" + parameters.Name("set") +
                       "\" must be an array of bookmarks, or empty to remove them all");
    }
    context.budget.Write(input.PageCount(), *outputName);
    try {
      editing::WriteOutline(pdf, input.pages, bookmarks);
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const std::exception& e) {
      throw PdfError("file \"" + input.label + "\": its bookmarks cannot be written (" + e.what() +
                     ")");
    }
    document::WritePdf(pdf, *output, context.limits, input.label);
    output->Commit();
    answer["output"] = *outputName;
    answer["count"] = std::to_string(count);
    return answer;
  }

  long long repeats = 0;
  std::vector<editing::Bookmark> bookmarks =
      editing::ReadOutline(pdf, input.pages, input.label, repeats);
  if (repeats > 0)
    context.limits.damage.Note("file \"" + input.label + "\": its outline reaches " +
                               std::to_string(repeats) +
                               " bookmark(s) a second time (a loop); each is listed once");
  long long count = 0;
  std::vector<const std::vector<editing::Bookmark>*> pending{&bookmarks};
  while (!pending.empty()) {
    const std::vector<editing::Bookmark>* list = pending.back();
    pending.pop_back();
    count += static_cast<long long>(list->size());
    for (const editing::Bookmark& bookmark : *list)
      pending.push_back(&bookmark.children);
  }
  answer["count"] = std::to_string(count);
  if (!bookmarks.empty())
    answer["bookmark"] = EntriesAnswer(bookmarks);
  return answer;
}

}  // namespace pdf::ops
