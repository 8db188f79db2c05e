// PdfAttachments: the files embedded in a document, listed, added, or written out into a
// folder under names made safe. Every attachment's size is counted by decoding it through a
// bounded counter before it is used.
#include <qpdf/QPDFEFStreamObjectHelper.hh>
#include <qpdf/QPDFEmbeddedFileDocumentHelper.hh>
#include <qpdf/QPDFFileSpecObjectHelper.hh>

#include <algorithm>
#include <cstdio>
#include <set>

#include "processors/pdf/attachment_name.h"
#include "processors/pdf/decode_limit.h"
#include "processors/pdf/operations.h"
#include "processors/pdf/output_budget.h"
#include "processors/pdf/pdf_error.h"
#include "processors/pdf/xml_text.h"

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
// when the list cannot be read or holds more than kMaxAttachments entries.
std::vector<Attachment> ListAttachments(QPDF& pdf, const std::string& label) {
  std::vector<Attachment> attachments;
  try {
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
  } catch (const PdfError&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    throw PdfError("file \"" + label + "\": its attachments cannot be read (" + e.what() + ")");
  }
  return attachments;
}

// The decoded size of `attachment`, counted within VTPS_PDF_MAX_ATTACHMENT_BYTES and
// VTPS_PDF_MAX_STREAM_BYTES. Throws PdfError naming the file, the attachment and the limit.
long long AttachmentSize(const Attachment& attachment, const RunLimits& limits,
                         const std::string& label) {
  std::string what = "file \"" + label + "\": attachment \"" + XmlSafeText(attachment.name) + "\"";
  QPDFObjectHandle stream = attachment.stream;
  if (!stream.isStream())
    throw PdfError(what + " holds no file");
  if (!DecodableAt(stream, qpdf_dl_specialized))
    throw PdfError(what + " uses a filter that cannot be decoded");
  long long limit = std::min(limits.maxAttachmentBytes, limits.maxStreamBytes);
  CountingDiscard counter(limit);
  bool decoded = false;
  try {
    decoded = stream.pipeStreamData(&counter, nullptr, 0, qpdf_dl_specialized, true);
  } catch (const std::exception&) {
  }
  if (counter.Exceeded()) {
    if (limits.maxAttachmentBytes <= limits.maxStreamBytes)
      throw PdfError(what + " holds more than " + std::to_string(limits.maxAttachmentBytes) +
                     " bytes (VTPS_PDF_MAX_ATTACHMENT_BYTES)");
    throw PdfError(what + " decodes to more than " + std::to_string(limits.maxStreamBytes) +
                   " bytes (VTPS_PDF_MAX_STREAM_BYTES)");
  }
  if (!decoded)
    throw PdfError(what + " cannot be decoded");
  return counter.Count();
}

KQ_TDict ListAnswer(const std::vector<Attachment>& attachments, const RunLimits& limits,
                    const std::string& label) {
  KQ_TArray entries;
  for (const Attachment& attachment : attachments) {
    KQ_TDict entry;
    entry["name"] = XmlSafeText(attachment.name);
    entry["file"] = XmlSafeText(attachment.fileName);
    entry["size"] = std::to_string(AttachmentSize(attachment, limits, label));
    if (!attachment.description.empty())
      entry["description"] = XmlSafeText(attachment.description);
    entries.Append(entry);
  }
  KQ_TDict answer;
  answer["count"] = std::to_string(attachments.size());
  if (entries.Count() > 0)
    answer["attachment"] = entries;
  return answer;
}

// Text a caller gives an attachment: at most kMaxAttachmentText bytes, no control characters.
std::string CheckedText(const std::string& text, const std::string& parameter, bool mayBeEmpty) {
  if ((!mayBeEmpty && text.empty()) || text.size() > kMaxAttachmentText)
    throw PdfError("parameter \"" + parameter + "\" must hold " + (mayBeEmpty ? "0" : "1") +
                   " to " + std::to_string(kMaxAttachmentText) + " bytes");
  for (unsigned char c : text)
    if (c < 0x20 || c == 0x7f)
      throw PdfError("parameter \"" + parameter + "\" holds a control character");
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

KQ_TDict AddAttachments(const JobParameters& parameters, OperationContext& context) {
  const KQ_TArray& additions = parameters.Array("add");
  std::string outputName = parameters.String("output");
  std::unique_ptr<OutputFile> output =
      PrepareOutput(context, outputName, parameters.Name("output"));
  PdfFile input = OpenFileParameter(parameters, context);
  context.budget.Write(input.PageCount(), outputName);
  QPDF& pdf = *input.pdf;
  std::vector<Attachment> existing = ListAttachments(pdf, input.label);
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
      JobParameters entryParameters(*entry, element + ".");
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
  WritePdf(pdf, *output, context.limits, input.label);
  output->Commit();

  KQ_TDict answer;
  answer["output"] = outputName;
  answer["count"] = std::to_string(names.size());
  return answer;
}

KQ_TDict ExtractAttachments(const JobParameters& parameters, OperationContext& context) {
  std::string folderName = parameters.String("extract");
  auto folder = std::make_shared<const os::FileHandle>(
      context.paths.OpenFolder(folderName, parameters.Name("extract")));
  PdfFile input = OpenFileParameter(parameters, context);
  std::vector<Attachment> attachments = ListAttachments(*input.pdf, input.label);

  // A name already in the folder (an input, an earlier extraction, anything) is never
  // replaced: the attachment gets a numbered name instead.
  AttachmentNames names(
      [&](const std::string& name) { return os::DescribeEntry(*folder, name).has_value(); });
  std::string prefix = folderName;
  if (!prefix.empty() && prefix.back() != '/')
    prefix += '/';
  std::vector<std::unique_ptr<OutputFile>> outputs;
  std::vector<std::string> wanted;  // each attachment's own name, for a new number
  for (const Attachment& attachment : attachments) {
    AttachmentSize(attachment, context.limits, input.label);
    wanted.push_back(attachment.fileName.empty() ? attachment.name : attachment.fileName);
    std::string fileName = names.Next(wanted.back());
    std::string label = prefix + fileName;
    outputs.push_back(std::make_unique<OutputFile>(folder, fileName, label));
    context.limits.workingOn = "output \"" + label + "\"";
    BudgetedFile file(os::OpenStream(outputs.back()->File(), "wb"), label, context.limits.output);
    bool copied = false;
    try {
      QPDFObjectHandle stream = attachment.stream;
      copied = stream.pipeStreamData(&file, nullptr, 0, qpdf_dl_specialized, true);
    } catch (const PdfError&) {
      throw;
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const std::exception&) {
    }
    if (!copied)
      throw PdfError("file \"" + input.label + "\": attachment \"" + XmlSafeText(attachment.name) +
                     "\" cannot be decoded");
    file.Close();
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
    entry["name"] = XmlSafeText(attachments[i].name);
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

KQ_TDict PdfAttachments(const JobParameters& parameters, OperationContext& context) {
  bool adding = parameters.Has("add");
  bool extracting = parameters.Has("extract");
  if (adding && extracting)
    throw PdfError("parameters \"" + parameters.Name("add") + "\" and \"" +
                   parameters.Name("extract") + "\" cannot be given together");
  if (adding)
    return AddAttachments(parameters, context);
  if (extracting)
    return ExtractAttachments(parameters, context);
  PdfFile input = OpenFileParameter(parameters, context);
  return ListAnswer(ListAttachments(*input.pdf, input.label), context.limits, input.label);
}
