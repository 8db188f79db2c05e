// PdfMetadata: a document's information entries and its XMP packet's main properties, read,
// or changed together so that the two never disagree. Dates are ISO 8601 in jobs and answers
// and PDF date strings in the document information dictionary.
#include <qpdf/Buffer.hh>

#include "processors/pdf/document/decode_limit.h"
#include "processors/pdf/document/operation_context.h"
#include "processors/pdf/run/job_parameters.h"
#include "processors/pdf/text/answer_text.h"
#include "processors/pdf/text/pdf_date.h"
#include "processors/pdf/text/pdf_error.h"
#include "processors/pdf/xmp/xmp_packet.h"

namespace pdf::ops {

namespace {

const char* const kInfoKeys[] = {"Title",   "Author",   "Subject",      "Keywords",
                                 "Creator", "Producer", "CreationDate", "ModDate"};

// The longest value "set" may give one entry, in bytes.
constexpr std::size_t kMaxInfoValue = 65535;

bool IsDate(const std::string& key) {
  return key == "CreationDate" || key == "ModDate";
}

// The changes "set" asks for: each entry's new text (a PDF date string for dates), or
// nullopt to remove it; and the same for the XMP packet (ISO 8601 for dates).
struct Changes {
  std::map<std::string, std::optional<std::string>> info;
  std::map<std::string, std::optional<std::string>> xmp;
};

Changes ReadChanges(const KQ_TDict& set, const std::string& parameter) {
  Changes changes;
  for (const KQ_TDict::Entry& entry : set) {
    std::string key = entry.key.Text();
    std::string name = parameter + "." + key;
    bool known = false;
    for (const char* infoKey : kInfoKeys)
      known = known || key == infoKey;
    if (!known)
      throw PdfError("parameter \"" + parameter + "\" holds \"" + key +
                     "\"; it may hold Title, Author, Subject, Keywords, Creator, Producer, "
                     "CreationDate and ModDate");
    const KQ_TString* text = entry.value.DynamicCast<KQ_TString>();
    if (text == nullptr)
      throw PdfError("parameter \"" + name + "\" must be a string");
    std::string value = text->Text();
    if (value.size() > kMaxInfoValue)
      throw PdfError("parameter \"" + name + "\" holds more than " + std::to_string(kMaxInfoValue) +
                     " bytes");
    for (unsigned char c : value)
      if (c < 0x20 || c == 0x7f)
        throw PdfError("parameter \"" + name + "\" holds a control character");
    // The entry and the packet are written from this text, which the packet must carry.
    if (std::optional<std::string> unfit = text::XmlUnfitReason(value))
      throw PdfError("parameter \"" + name + "\" " + *unfit);
    if (value.empty()) {
      changes.info[key] = std::nullopt;
      changes.xmp[key] = std::nullopt;
    } else if (IsDate(key)) {
      std::optional<std::string> pdfDate = text::IsoToPdfDate(value);
      if (!pdfDate)
        throw PdfError("parameter \"" + name + "\" is \"" + value +
                       "\"; it must be an ISO 8601 date such as 2026-12-09T14:30:00+01:00 or "
                       "2026-12-09 (or empty to remove it)");
      changes.info[key] = *pdfDate;
      changes.xmp[key] = text::NormalizedIsoDate(value);
    } else {
      changes.info[key] = value;
      changes.xmp[key] = value;
    }
  }
  if (changes.info.empty())
    throw PdfError("parameter \"" + parameter + "\" must be a dictionary of at least one entry");
  return changes;
}

KQ_TDict InfoAnswer(QPDF& pdf) {
  KQ_TDict info;
  QPDFObjectHandle dictionary = pdf.getTrailer().getKey("/Info");
  if (!dictionary.isDictionary())
    return info;
  for (const char* key : kInfoKeys) {
    QPDFObjectHandle value = dictionary.getKey(std::string("/") + key);
    if (!value.isString())
      continue;
    std::string text = value.getUTF8Value();
    // Dates as ISO 8601; one a reader could not parse is given as the file holds it.
    if (IsDate(key))
      text = text::PdfDateToIso(text).value_or(text);
    info[key] = text::XmlSafeText(text);
  }
  return info;
}

// The document's XMP packet, decoded; nullopt when it has none. Throws PdfError naming the
// file when the stream passes VTPS_PDF_MAX_STREAM_BYTES (or the run's decoding) or the packet
// limit, or cannot be decoded.
std::optional<std::string> XmpPacket(QPDF& pdf, document::RunLimits& limits,
                                     const std::string& label) {
  QPDFObjectHandle metadata = pdf.getRoot().getKey("/Metadata");
  if (!metadata.isStream())
    return std::nullopt;
  std::string file = "file \"" + label + "\"";
  if (!document::DecodableAt(metadata, qpdf_dl_specialized))
    throw PdfError(file + ": its XMP metadata uses a filter that cannot be decoded");
  // The packet is counted whole within the stream limit. A count stopped at a limit leaves
  // the decoder complaining of data cut short, which is no damage of the file: what qpdf
  // records then is dropped, after the warnings before it have been judged.
  limits.damage.Check();
  long long size = 0;
  try {
    size = document::CheckDecodedSize(metadata, qpdf_dl_specialized, limits.decoding, label);
  } catch (const PdfError&) {
    pdf.getWarnings();
    throw;
  }
  if (size > xmp::kMaxXmpBytes)
    throw PdfError(file + ": its XMP metadata holds more than " +
                   std::to_string(xmp::kMaxXmpBytes) + " bytes (at most " +
                   std::to_string(xmp::kMaxXmpBytes) + ")");
  try {
    std::shared_ptr<Buffer> data = metadata.getStreamData(qpdf_dl_specialized);
    return std::string(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    throw PdfError(file + ": its XMP metadata cannot be decoded (" + std::string(e.what()) + ")");
  }
}

// The answer's "xmp" (or "xmpError") for `packet`.
void AddXmpAnswer(KQ_TDict& answer, const std::optional<std::string>& packet) {
  if (!packet)
    return;
  try {
    KQ_TDict xmp;
    for (const auto& [name, value] : xmp::ReadXmpProperties(*packet))
      xmp[name] = text::XmlSafeText(value);
    if (!xmp.Empty())
      answer["xmp"] = xmp;
  } catch (const PdfError& e) {
    answer["xmpError"] = e.what();
  }
}

}  // namespace

KQ_TDict PdfMetadata(const run::JobParameters& parameters, document::OperationContext& context) {
  const KQ_TDict* set = parameters.OptionalDictionary("set");
  std::optional<Changes> changes;
  if (set != nullptr)
    changes = ReadChanges(*set, parameters.Name("set"));
  std::optional<std::string> outputName;
  std::unique_ptr<run::OutputFile> output = document::OutputIfSetting(
      parameters, context, set != nullptr, "the entries to write", outputName);
  document::PdfFile input = document::OpenFileParameter(parameters, context);
  QPDF& pdf = *input.pdf;
  std::optional<std::string> packet;
  std::optional<std::string> packetError;
  try {
    packet = XmpPacket(pdf, context.limits, input.label);
  } catch (const PdfError& e) {
    // Reading still answers the entries; writing must not leave the packet behind.
    if (changes)
      throw;
    packetError = e.what();
  }

  if (changes) {
    context.budget.Write(input.PageCount(), *outputName);
    std::optional<std::string> updated;
    if (packet) {
      try {
        updated = xmp::UpdateXmp(*packet, changes->xmp);
      } catch (const PdfError& e) {
        // The packet would disagree with the entries; nothing is written.
        throw PdfError("file \"" + input.label + "\": " + e.what() +
                       ", so it cannot be kept in agreement with the new entries");
      }
    }
    try {
      QPDFObjectHandle info = pdf.getTrailer().getKey("/Info");
      if (!info.isDictionary()) {
        info = pdf.makeIndirectObject(QPDFObjectHandle::newDictionary());
        pdf.getTrailer().replaceKey("/Info", info);
      }
      for (const auto& [key, value] : changes->info) {
        if (!value)
          info.removeKey("/" + key);
        else if (IsDate(key))
          info.replaceKey("/" + key, QPDFObjectHandle::newString(*value));
        else
          info.replaceKey("/" + key, QPDFObjectHandle::newUnicodeString(*value));
      }
      if (updated)
        pdf.getRoot()
            .getKey("/Metadata")
            .replaceStreamData(*updated, QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const std::exception& e) {
      throw PdfError("file \"" + input.label + "\": its metadata cannot be changed (" + e.what() +
                     ")");
    }
    // A modification date the caller set (or removed) stays as given.
    document::WriteSetup setup;
    setup.setsModifyDate = changes->info.count("ModDate") > 0;
    document::WritePdf(pdf, *output, context.limits, input.label, setup);
    output->Commit();
    packet = updated;
  }

  KQ_TDict answer;
  if (outputName)
    answer["output"] = *outputName;
  KQ_TDict info = InfoAnswer(pdf);
  if (!info.Empty())
    answer["info"] = info;
  if (packetError)
    answer["xmpError"] = *packetError;
  AddXmpAnswer(answer, packet);
  // An answer needs one element at least; a document without metadata has none of the above.
  answer["pageCount"] = std::to_string(input.PageCount());
  return answer;
}

}  // namespace pdf::ops
