#include "processors/pdf/editing/outline.h"

#include <map>
#include <set>
#include <vector>

#include "processors/pdf/text/pdf_error.h"

namespace pdf::editing {

namespace {

// The document's named destinations (its /Names /Dests name tree) in one index, built the
// first time a string destination is looked up, by one walk over the tree that enters each
// node once: looking each name up from the tree's root would read a tree built as a long
// chain of nodes once per bookmark. The first entry of a name counts.
class NamedDestinations {
 public:
  explicit NamedDestinations(QPDF& pdf) : pdf_(pdf) {}

  // The destination named `name`; null when there is none.
  QPDFObjectHandle Find(const std::string& name) {
    if (!built_)
      Build();
    auto found = index_.find(name);
    return found == index_.end() ? QPDFObjectHandle::newNull() : found->second;
  }

 private:
  void Build() {
    built_ = true;
    QPDFObjectHandle names = pdf_.getRoot().getKey("/Names");
    QPDFObjectHandle tree = names.isDictionary() ? names.getKey("/Dests") : names;
    std::vector<QPDFObjectHandle> pending{tree};
    std::set<QPDFObjGen> seen;
    while (!pending.empty()) {
      QPDFObjectHandle node = pending.back();
      pending.pop_back();
      if (!node.isDictionary() || (node.isIndirect() && !seen.insert(node.getObjGen()).second))
        continue;
      QPDFObjectHandle entries = node.getKey("/Names");
      if (entries.isArray()) {
        std::vector<QPDFObjectHandle> items = entries.getArrayAsVector();
        for (std::size_t i = 0; i + 1 < items.size(); i += 2)
          if (items[i].isString())
            index_.emplace(items[i].getUTF8Value(), items[i + 1]);
      }
      QPDFObjectHandle kids = node.getKey("/Kids");
      if (kids.isArray()) {
        // In reverse, so that the walk takes the kids in their order.
        std::vector<QPDFObjectHandle> children = kids.getArrayAsVector();
        pending.insert(pending.end(), children.rbegin(), children.rend());
      }
    }
  }

  QPDF& pdf_;
  bool built_ = false;
  std::map<std::string, QPDFObjectHandle> index_;
};

// The page a destination leads to: an explicit destination (an array starting with the
// page), a name or string looked up in the document's destinations, or a dictionary
// holding one under /D.
int DestinationPage(QPDF& pdf, NamedDestinations& named, QPDFObjectHandle destination,
                    const std::map<QPDFObjGen, int>& pageNumbers, int pageCount) {
  // Named destinations may name each other; a few steps are enough for real files.
  for (int step = 0; step < 4; ++step) {
    if (destination.isName() || destination.isString()) {
      QPDFObjectHandle found;
      if (destination.isName()) {
        QPDFObjectHandle dests = pdf.getRoot().getKey("/Dests");
        found = dests.isDictionary() ? dests.getKey(destination.getName()) : found;
      } else {
        found = named.Find(destination.getUTF8Value());
      }
      destination = found;
      continue;
    }
    if (destination.isDictionary()) {
      destination = destination.getKey("/D");
      continue;
    }
    break;
  }
  if (!destination.isArray() || destination.getArrayNItems() == 0)
    return 0;
  QPDFObjectHandle target = destination.getArrayItem(0);
  if (target.isIndirect()) {
    auto found = pageNumbers.find(target.getObjGen());
    return found == pageNumbers.end() ? 0 : found->second;
  }
  // Some writers give a page index where a page object belongs.
  if (target.isInteger() && target.getIntValue() >= 0 && target.getIntValue() < pageCount)
    return static_cast<int>(target.getIntValue()) + 1;
  return 0;
}

int EntryPage(QPDF& pdf, NamedDestinations& named, QPDFObjectHandle entry,
              const std::map<QPDFObjGen, int>& pageNumbers, int pageCount) {
  try {
    QPDFObjectHandle destination = entry.getKey("/Dest");
    if (destination.isNull()) {
      QPDFObjectHandle action = entry.getKey("/A");
      if (action.isDictionary() && action.getKey("/S").isNameAndEquals("/GoTo"))
        destination = action.getKey("/D");
    }
    return DestinationPage(pdf, named, destination, pageNumbers, pageCount);
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception&) {
    // A destination that cannot be looked up leads nowhere; the entry is still listed.
    return 0;
  }
}

}  // namespace

std::vector<Bookmark> ReadOutline(QPDF& pdf, const std::vector<QPDFPageObjectHelper>& pages,
                                  const std::string& label, long long& repeats) {
  std::map<QPDFObjGen, int> pageNumbers;
  for (std::size_t i = 0; i < pages.size(); ++i)
    pageNumbers.emplace(pages[i].getObjectHandle().getObjGen(), static_cast<int>(i + 1));
  int pageCount = static_cast<int>(pages.size());

  std::vector<Bookmark> top;
  QPDFObjectHandle outlines = pdf.getRoot().getKey("/Outlines");
  if (!outlines.isDictionary())
    return top;

  // A chain of siblings still to read, from `next`, into `list`, at `depth`. Children are
  // read before the following siblings, so a list is only appended to once the frames
  // pointing into its earlier entries are done.
  struct Frame {
    QPDFObjectHandle next;
    std::vector<Bookmark>* list;
    int depth;
  };
  std::vector<Frame> frames{{outlines.getKey("/First"), &top, 1}};
  std::set<QPDFObjGen> seen;
  NamedDestinations named(pdf);
  long long count = 0;
  while (!frames.empty()) {
    Frame frame = frames.back();
    frames.pop_back();
    QPDFObjectHandle entry = frame.next;
    if (!entry.isDictionary())
      continue;
    if (entry.isIndirect() && !seen.insert(entry.getObjGen()).second) {
      ++repeats;
      continue;
    }
    if (++count > kMaxBookmarks)
      throw PdfError("file \"" + label + "\": its outline holds more than " +
                     std::to_string(kMaxBookmarks) + " bookmarks (at most " +
                     std::to_string(kMaxBookmarks) + ")");
    if (frame.depth > kMaxBookmarkDepth)
      throw PdfError("file \"" + label + "\": its outline nests deeper than " +
                     std::to_string(kMaxBookmarkDepth) + " levels (at most " +
                     std::to_string(kMaxBookmarkDepth) + ")");
    Bookmark bookmark;
    QPDFObjectHandle title = entry.getKey("/Title");
    bookmark.title = title.isString() ? title.getUTF8Value() : "";
    bookmark.page = EntryPage(pdf, named, entry, pageNumbers, pageCount);
    frame.list->push_back(std::move(bookmark));
    frames.push_back({entry.getKey("/Next"), frame.list, frame.depth});
    frames.push_back({entry.getKey("/First"), &frame.list->back().children, frame.depth + 1});
  }
  return top;
}

namespace {

// The entries of `list` made as outline items under `parent`; returns the number of
// descendants. Recursion is bounded by the caller's depth check.
long long MakeItems(QPDF& pdf, const std::vector<QPDFPageObjectHelper>& pages,
                    const std::vector<Bookmark>& list, QPDFObjectHandle parent) {
  std::vector<QPDFObjectHandle> items;
  for (const Bookmark& bookmark : list) {
    QPDFObjectHandle item = pdf.makeIndirectObject(QPDFObjectHandle::newDictionary());
    item.replaceKey("/Title", QPDFObjectHandle::newUnicodeString(bookmark.title));
    item.replaceKey("/Parent", parent);
    if (bookmark.page > 0) {
      QPDFObjectHandle destination = QPDFObjectHandle::newArray();
      destination.appendItem(pages[static_cast<std::size_t>(bookmark.page - 1)].getObjectHandle());
      destination.appendItem(QPDFObjectHandle::newName("/XYZ"));
      for (int i = 0; i < 3; ++i)
        destination.appendItem(QPDFObjectHandle::newNull());
      item.replaceKey("/Dest", destination);
    }
    if (!bookmark.children.empty()) {
      MakeItems(pdf, pages, bookmark.children, item);
      // Closed: a negative count of the entries that opening it shows.
      item.replaceKey("/Count", QPDFObjectHandle::newInteger(
                                    -static_cast<long long>(bookmark.children.size())));
    }
    items.push_back(item);
  }
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0)
      items[i].replaceKey("/Prev", items[i - 1]);
    if (i + 1 < items.size())
      items[i].replaceKey("/Next", items[i + 1]);
  }
  if (!items.empty()) {
    parent.replaceKey("/First", items.front());
    parent.replaceKey("/Last", items.back());
  }
  return static_cast<long long>(items.size());
}

}  // namespace

void WriteOutline(QPDF& pdf, const std::vector<QPDFPageObjectHelper>& pages,
                  const std::vector<Bookmark>& bookmarks) {
  QPDFObjectHandle root = pdf.getRoot();
  if (bookmarks.empty()) {
    root.removeKey("/Outlines");
    return;
  }
  QPDFObjectHandle outlines =
      pdf.makeIndirectObject(QPDFObjectHandle::parse("<< /Type /Outlines >>"));
  long long shown = MakeItems(pdf, pages, bookmarks, outlines);
  // Every entry is closed, so the top-level entries are the ones shown.
  outlines.replaceKey("/Count", QPDFObjectHandle::newInteger(shown));
  root.replaceKey("/Outlines", outlines);
}

}  // namespace pdf::editing
