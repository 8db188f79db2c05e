// PdfAttachments: the files embedded in a document, listed, added, or written out into a
// folder under names made safe. Every embedded file is decoded at most once per run, however
// many names point at it: its size is counted through a bounded counter when it is listed,
// or as it is written out when extracted, and a second name for the same file gets a copy
// of what was written. Each extracted file is closed once written.
#include <qpdf/QPDFEFStreamObjectHelper.hh>
#include <qpdf/QPDFEmbeddedFileDocumentHelper.hh>
#include <qpdf/QPDFFileSpecObjectHelper.hh>

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>

#include "processors/pdf/document/decode_limit.h"
#include "processors/pdf/document/operation_context.h"
#include "processors/pdf/run/file_bytes.h"
#include "processors/pdf/run/job_parameters.h"
#include "processors/pdf/run/output_budget.h"
#include "processors/pdf/text/answer_text.h"
#include "processors/pdf/text/attachment_name.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::ops {

namespace {

// The most attachments one document may list, or hold after adding.
constexpr std::size_t kMaxAttachments = 10000;
// The longest name and description given to an added attachment, in bytes.
constexpr std::size_t kMaxAttachmentText = 1000;

struct Attachment {
  std::string name;  // the key in the document's list
  std::string fileName;
  std::string description;
  QPDFObjectHandle stream;  // null when the entry holds no file
};

// The document's attachments, in the order of their names. Throws PdfError naming the file
// when the list cannot be read or holds more than kMaxAttachments entries, and asking for the
// "password" when the document encrypts its attachments and was read without it.
std::vector<Attachment> ListAttachments(const document::PdfFile& input) {
  QPDF& pdf = *input.pdf;
  const std::string& label = input.label;
  if (input.lockedAttachments > 0)
    throw PdfError("file \"" + label + "\" encrypts its attachments; give its \"password\"");
  return WithLibraryFailures("file \"" + label + "\": its attachments cannot be read", [&] {
    std::vector<Attachment> attachments;
    QPDFEmbeddedFileDocumentHelper files(pdf);
    if (!files.hasEmbeddedFiles())
      return attachments;
    for (const auto& [name, fileSpec] : files.getEmbeddedFiles()) {
      if (attachments.size() == kMaxAttachments)
        throw PdfError("file \"" + label + "\" holds more than " + std::to_string(kMaxAttachments) +
                       " attachments (at most " + std::to_string(kMaxAttachments) + ")");
      Attachment attachment;
      attachment.name = name;  // UTF-8, as qpdf gives the list's keys
      attachment.fileName = fileSpec->getFilename();
      attachment.description = fileSpec->getDescription();
      QPDFObjectHandle stream = fileSpec->getEmbeddedFileStream();
      if (stream.isStream())
        attachment.stream = stream;
      attachments.push_back(std::move(attachment));
    }
    return attachments;
  });
}

// Where an extracted file's decoded bytes go: counted within `maxBytes`, then written to the
// output. qpdf turns any exception from a pipeline into a failed decode, so the output's own
// failure is kept to be raised after.
class ExtractingPipeline : public Pipeline {
 public:
  ExtractingPipeline(run::BudgetedFile& file, long long maxBytes)
      : Pipeline("extracted file", nullptr), file_(file), maxBytes_(maxBytes) {}

  void write(unsigned char const* data, size_t length) override {
    count_ += static_cast<long long>(length);
    if (count_ > maxBytes_) {
      exceeded_ = true;
      throw std::length_error("the attachment passes its limit");
    }
    try {
      file_.Write(data, length);
    } catch (const PdfError& e) {
      failure_ = e;
      throw;
    }
  }
  void finish() override {
    try {
      file_.Flush();
    } catch (const PdfError& e) {
      failure_ = e;
      throw;
    }
  }

  long long Count() const { return count_; }
  bool Exceeded() const { return exceeded_; }
  const std::optional<PdfError>& Failure() const { return failure_; }

 private:
  run::BudgetedFile& file_;
  long long maxBytes_;
  long long count_ = 0;
  bool exceeded_ = false;
  std::optional<PdfError> failure_;
};

// What the limits of one embedded file say when it passes them: VTPS_PDF_MAX_ATTACHMENT_BYTES
// or, when that is the lower, the stream and decoding limits.
PdfError AttachmentTooLarge(const std::string& what, const Attachment& attachment,
                            document::RunLimits& limits, const std::string& label) {
  if (limits.maxAttachmentBytes <= limits.decoding.NextStreamLimit())
    return PdfError(what + " holds more than " + std::to_string(limits.maxAttachmentBytes) +
                    " bytes (VTPS_PDF_MAX_ATTACHMENT_BYTES)");
  try {
    limits.decoding.ThrowPassed(attachment.stream, label);
  } catch (const PdfError& e) {
    return e;
  }
  return PdfError(what + " cannot be decoded");
}

std::string Described(const Attachment& attachment, const std::string& label) {
  return "file \"" + label + "\": attachment \"" + text::XmlSafeText(attachment.name) + "\"";
}

// The decoded size of each embedded file, counted once per stream within
// VTPS_PDF_MAX_ATTACHMENT_BYTES, VTPS_PDF_MAX_STREAM_BYTES and the run's decoding.
class AttachmentSizes {
 public:
  AttachmentSizes(document::RunLimits& limits, std::string label)
      : limits_(limits), label_(std::move(label)) {}

  // Throws PdfError naming the file, the attachment and the limit passed.
  long long Size(const Attachment& attachment) {
    std::string what = Described(attachment, label_);
    QPDFObjectHandle stream = attachment.stream;
    if (!stream.isStream())
      throw PdfError(what + " holds no file");
    auto known = sizes_.find(stream.getObjGen());
    if (known != sizes_.end())
      return known->second;
    if (!document::DecodableAt(stream, qpdf_dl_specialized))
      throw PdfError(what + " uses a filter that cannot be decoded");
    document::CountingDiscard counter(
        std::min(limits_.maxAttachmentBytes, limits_.decoding.NextStreamLimit()));
    bool decoded = false;
    try {
      decoded = stream.pipeStreamData(&counter, nullptr, 0, qpdf_dl_specialized, true);
    } catch (const std::exception&) {
    }
    if (counter.Exceeded())
      throw AttachmentTooLarge(what, attachment, limits_, label_);
    if (!decoded)
      throw PdfError(what + " cannot be decoded");
    limits_.decoding.Charge(counter.Count(), label_);
    return sizes_[stream.getObjGen()] = counter.Count();
  }

 private:
  document::RunLimits& limits_;
  std::string label_;
  std::map<QPDFObjGen, long long> sizes_;
};

KQ_TDict ListAnswer(const std::vector<Attachment>& attachments, document::RunLimits& limits,
                    const std::string& label) {
  KQ_TArray entries;
  AttachmentSizes sizes(limits, label);
  for (const Attachment& attachment : attachments) {
    KQ_TDict entry;
    entry["name"] = text::XmlSafeText(attachment.name);
    entry["file"] = text::XmlSafeText(attachment.fileName);
    entry["size"] = std::to_string(sizes.Size(attachment));
    if (!attachment.description.empty())
      entry["description"] = text::XmlSafeText(attachment.description);
    entries.Append(entry);
  }
  KQ_TDict answer;
  answer["count"] = std::to_string(attachments.size());
  if (entries.Count() > 0)
    answer["attachment"] = entries;
  return answer;
}

// Text a caller gives an attachment: at most kMaxAttachmentText bytes of UTF-8, no control
// characters or others XML cannot carry.
std::string CheckedText(const std::string& text, const std::string& parameter, bool mayBeEmpty) {
  if ((!mayBeEmpty && text.empty()) || text.size() > kMaxAttachmentText)
    throw PdfError("parameter \"" + parameter + "\" must hold " + (mayBeEmpty ? "0" : "1") +
                   " to " + std::to_string(kMaxAttachmentText) + " bytes");
  for (unsigned char c : text)
    if (c < 0x20 || c == 0x7f)
      throw PdfError("parameter \"" + parameter + "\" holds a control character");
  if (std::optional<std::string> unfit = text::XmlUnfitReason(text))
    throw PdfError("parameter \"" + parameter + "\" " + *unfit);
  return text;
}

// The whole content of the open `file` (the path `given` in `parameter`), at most `maxBytes`.
std::string ReadAttachmentFile(const os::FileHandle& file, const std::string& given,
                               const std::string& parameter, long long maxBytes) {
  std::uint64_t size = os::Describe(file).size;
  std::string tooLarge = "parameter \"" + parameter + "\": file \"" + given +
                         "\" holds more than " + std::to_string(maxBytes) +
                         " bytes (VTPS_PDF_MAX_ATTACHMENT_BYTES)";
  if (size > static_cast<std::uint64_t>(maxBytes))
    throw PdfError(tooLarge);
  std::FILE* stream = os::OpenStream(file, "rb");
  if (stream == nullptr)
    throw PdfError("parameter \"" + parameter + "\": file \"" + given + "\" cannot be read");
  std::string content(static_cast<std::size_t>(size) + 1, '\0');
  std::size_t read = std::fread(content.data(), 1, content.size(), stream);
  bool failed = std::ferror(stream) != 0;
  std::fclose(stream);
  if (failed)
    throw PdfError("parameter \"" + parameter + "\": file \"" + given + "\" cannot be read");
  // A file that grew while it was read is refused rather than cut.
  if (read > static_cast<std::size_t>(size))
    throw PdfError("parameter \"" + parameter + "\": file \"" + given +
                   "\" changed while it was read");
  content.resize(read);
  return content;
}

KQ_TDict AddAttachments(const run::JobParameters& parameters, document::OperationContext& context) {
  const KQ_TArray& additions = parameters.Array("add");
  std::string outputName = parameters.String("output");
  document::Rewrite rewrite = document::OpenRewrite(parameters, context, outputName);
  document::PdfFile& input = rewrite.input;
  QPDF& pdf = *input.pdf;
  std::vector<Attachment> existing = ListAttachments(input);
  std::set<std::string> names;
  for (const Attachment& attachment : existing)
    names.insert(attachment.name);
  if (existing.size() + additions.Count() > kMaxAttachments)
    throw PdfError("parameter \"" + parameters.Name("add") + "\": file \"" + input.label +
                   "\" would hold more than " + std::to_string(kMaxAttachments) +
                   " attachments (at most " + std::to_string(kMaxAttachments) + ")");

  QPDFEmbeddedFileDocumentHelper files(pdf);
  for (std::size_t i = 0; i < additions.Count(); ++i) {
    std::string element = parameters.Name("add") + "[" + std::to_string(i + 1) + "]";
    std::string path;
    std::optional<std::string> name;
    std::string description;
    if (const KQ_TString* text = additions[i].DynamicCast<KQ_TString>()) {
      path = text->Text();
    } else if (const KQ_TDict* entry = additions[i].DynamicCast<KQ_TDict>()) {
      run::JobParameters entryParameters(*entry, element + ".");
      path = entryParameters.String("file");
      if (std::optional<std::string> given = entryParameters.OptionalString("name"))
        name = CheckedText(*given, entryParameters.Name("name"), false);
      description = CheckedText(entryParameters.OptionalString("description").value_or(""),
                                entryParameters.Name("description"), true);
    } else {
      throw PdfError("parameter \"" + element + "\" must be a path or a dictionary with \"file\"");
    }
    os::FileHandle file = context.paths.OpenFile(path, element);
    if (!name) {
      std::size_t slash = path.find_last_of('/');
      name =
          CheckedText(slash == std::string::npos ? path : path.substr(slash + 1), element, false);
    }
    if (!names.insert(*name).second)
      throw PdfError("parameter \"" + element + "\": file \"" + input.label +
                     "\" already holds an attachment named \"" + *name + "\"");
    std::string content =
        ReadAttachmentFile(file, path, element, context.limits.maxAttachmentBytes);
    try {
      QPDFEFStreamObjectHelper stream = QPDFEFStreamObjectHelper::createEFStream(pdf, content);
      QPDFFileSpecObjectHelper fileSpec =
          QPDFFileSpecObjectHelper::createFileSpec(pdf, *name, stream);
      if (!description.empty())
        fileSpec.setDescription(description);
      files.replaceEmbeddedFile(*name, fileSpec);
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const std::exception& e) {
      throw PdfError("parameter \"" + element + "\": the attachment cannot be added (" + e.what() +
                     ")");
    }
  }
  // PDF/A-1 holds no embedded files, PDF/A-2 only files that are PDF/A themselves.
  document::WriteSetup setup;
  setup.breaksPdfa = [](const document::PdfaClaim& claim) -> std::string {
    return claim.part <= 2 ? "attachments, which PDF/A-" + std::to_string(claim.part) +
                                 " does not allow as they are"
                           : "";
  };
  std::vector<std::string> warnings =
      document::WritePdf(pdf, *rewrite.output, context.limits, input.label, setup);
  rewrite.output->Commit();

  KQ_TDict answer;
  answer["output"] = outputName;
  answer["count"] = std::to_string(names.size());
  document::AddWarnings(answer, warnings);
  return answer;
}

KQ_TDict ExtractAttachments(const run::JobParameters& parameters,
                            document::OperationContext& context) {
  std::string folderName = parameters.String("extract");
  auto folder = std::make_shared<const os::FileHandle>(
      context.paths.OpenFolder(folderName, parameters.Name("extract")));
  document::PdfFile input = document::OpenFileParameter(parameters, context);
  std::vector<Attachment> attachments = ListAttachments(input);

  // A name already in the folder (an input, an earlier extraction, anything) is never
  // replaced: the attachment gets a numbered name instead.
  text::AttachmentNames names(
      [&](const std::string& name) { return os::DescribeEntry(*folder, name).has_value(); });
  std::string prefix = folderName;
  if (!prefix.empty() && prefix.back() != '/')
    prefix += '/';
  std::vector<std::unique_ptr<run::OutputFile>> outputs;
  std::vector<std::string> wanted;  // each attachment's own name, for a new number
  // The output holding each embedded file already written, by its stream.
  std::map<QPDFObjGen, std::size_t> extracted;
  for (const Attachment& attachment : attachments) {
    std::string what = Described(attachment, input.label);
    QPDFObjectHandle stream = attachment.stream;
    if (!stream.isStream())
      throw PdfError(what + " holds no file");
    if (!document::DecodableAt(stream, qpdf_dl_specialized))
      throw PdfError(what + " uses a filter that cannot be decoded");
    wanted.push_back(attachment.fileName.empty() ? attachment.name : attachment.fileName);
    std::string fileName = names.Next(wanted.back());
    std::string label = prefix + fileName;
    outputs.push_back(std::make_unique<run::OutputFile>(folder, fileName, label));
    context.limits.workingOn = "output \"" + label + "\"";
    auto earlier = extracted.find(stream.getObjGen());
    if (earlier != extracted.end()) {
      const run::OutputFile& first = *outputs[earlier->second];
      os::FileHandle content = first.OpenContent();
      run::CopyFileTo(content, "output \"" + first.Label() + "\"", *outputs.back(),
                      context.limits.output);
    } else {
      run::BudgetedFile file(os::OpenStream(outputs.back()->File(), "wb"), label,
                             context.limits.output);
      ExtractingPipeline pipeline(file, std::min(context.limits.maxAttachmentBytes,
                                                 context.limits.decoding.NextStreamLimit()));
      bool copied = false;
      try {
        copied = stream.pipeStreamData(&pipeline, nullptr, 0, qpdf_dl_specialized, true);
      } catch (const std::bad_alloc&) {
        throw;
      } catch (const std::exception&) {
      }
      // qpdf reports a pipeline that failed as data it could not decode; the output's own
      // failure (its budget, a full disk) is what the run says.
      if (pipeline.Failure())
        throw *pipeline.Failure();
      if (pipeline.Exceeded())
        throw AttachmentTooLarge(what, attachment, context.limits, input.label);
      if (!copied)
        throw PdfError(what + " cannot be decoded");
      context.limits.decoding.Charge(pipeline.Count(), input.label);
      file.Close();
      extracted.emplace(stream.getObjGen(), outputs.size() - 1);
    }
    // A run may extract thousands of files; none is held open once written.
    outputs.back()->Close();
  }
  // Reads made while decoding count before anything is named.
  context.limits.damage.Check();
  // A file that appeared under a chosen name since it was chosen is not replaced either: the
  // attachment takes the next free number.
  KQ_TArray written;
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    while (!outputs[i]->CommitIfFree()) {
      std::string fileName = names.Next(wanted[i]);
      outputs[i]->RenameTarget(fileName, prefix + fileName);
    }
    KQ_TDict entry;
    entry["name"] = text::XmlSafeText(attachments[i].name);
    entry["file"] = outputs[i]->Label();
    written.Append(entry);
  }

  KQ_TDict answer;
  answer["count"] = std::to_string(attachments.size());
  if (written.Count() > 0)
    answer["file"] = written;
  return answer;
}

}  // namespace

KQ_TDict PdfAttachments(const run::JobParameters& parameters, document::OperationContext& context) {
  bool adding = parameters.Has("add");
  bool extracting = parameters.Has("extract");
  if (adding && extracting)
    throw PdfError("parameters \"" + parameters.Name("add") + "\" and \"" +
                   parameters.Name("extract") + "\" cannot be given together");
  if (adding)
    return AddAttachments(parameters, context);
  if (extracting)
    return ExtractAttachments(parameters, context);
  document::PdfFile input = document::OpenFileParameter(parameters, context);
  return ListAnswer(ListAttachments(input), context.limits, input.label);
}

}  // namespace pdf::ops
