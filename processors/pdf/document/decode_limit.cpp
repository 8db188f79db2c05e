#include "processors/pdf/document/decode_limit.h"

#include <algorithm>
#include <limits>
#include <map>
#include <optional>
#include <stdexcept>
#include <vector>

#include "processors/pdf/text/pdf_error.h"

namespace pdf::document {

CountingDiscard::CountingDiscard(long long maxBytes)
    : Pipeline("counting discard", nullptr), maxBytes_(maxBytes) {}

void CountingDiscard::write(unsigned char const*, size_t length) {
  count_ += static_cast<long long>(length);
  if (count_ > maxBytes_) {
    exceeded_ = true;
    throw std::length_error("decoded data passes the stream limit");
  }
}

long long DecodeBudget::NextStreamLimit() const {
  return std::min(maxStreamBytes_, maxRunBytes_ - decoded_);
}

void DecodeBudget::Charge(long long bytes, const std::string& label) {
  if (bytes > maxRunBytes_ - decoded_)
    throw PdfError("file \"" + label + "\": the run's streams would decode to more than " +
                   std::to_string(maxRunBytes_) + " bytes (VTPS_PDF_MAX_DECODED_BYTES)");
  decoded_ += bytes;
}

void DecodeBudget::ThrowPassed(QPDFObjectHandle stream, const std::string& label) const {
  if (maxStreamBytes_ <= maxRunBytes_ - decoded_)
    throw PdfError("file \"" + label + "\": stream " + stream.getObjGen().unparse(' ') +
                   " decodes to more than " + std::to_string(maxStreamBytes_) +
                   " bytes (VTPS_PDF_MAX_STREAM_BYTES)");
  throw PdfError("file \"" + label + "\": the run's streams would decode to more than " +
                 std::to_string(maxRunBytes_) + " bytes (VTPS_PDF_MAX_DECODED_BYTES)");
}

namespace {

// The names in `stream`'s /Filter (one name or an array of names), or nullopt when it holds
// anything else.
std::optional<std::vector<std::string>> FilterNames(QPDFObjectHandle stream) {
  QPDFObjectHandle filter = stream.getDict().getKey("/Filter");
  std::vector<QPDFObjectHandle> filters;
  if (filter.isName())
    filters.push_back(filter);
  else if (filter.isArray())
    filters = filter.getArrayAsVector();
  else if (!filter.isNull())
    return std::nullopt;
  std::vector<std::string> names;
  for (QPDFObjectHandle& each : filters) {
    if (!each.isName())
      return std::nullopt;
    names.push_back(each.getName());
  }
  return names;
}

// A CountingDiscard that keeps a copy of what it counts.
class CountingCopy : public CountingDiscard {
 public:
  CountingCopy(long long maxBytes, std::string& copy) : CountingDiscard(maxBytes), copy_(copy) {}
  void write(unsigned char const* data, size_t length) override {
    CountingDiscard::write(data, length);
    copy_.append(reinterpret_cast<const char*>(data), length);
  }

 private:
  std::string& copy_;
};

// Whether a /DecodeParms value (one dictionary, or an array of them, one per filter) asks
// for a predictor; anything else that is not null counts as asking.
bool UsesPredictor(QPDFObjectHandle parameters) {
  std::vector<QPDFObjectHandle> each;
  if (parameters.isArray())
    each = parameters.getArrayAsVector();
  else
    each.push_back(parameters);
  for (QPDFObjectHandle& entry : each) {
    if (entry.isNull())
      continue;
    if (!entry.isDictionary() || entry.hasKey("/Predictor"))
      return true;
  }
  return false;
}

// The filters qpdf decodes: from which decode level, and the most bytes one input byte can
// become through each (0: no such bound, a JPEG's declared size being its own). Deflate
// expands at most 1032 times; an LZW code of at least 9 bits stands for at most 4096 bytes;
// a run-length pair of 2 bytes for at most 128; an ASCII85 "z" for 4 bytes.
struct KnownFilter {
  qpdf_stream_decode_level_e level;
  double maxExpansion;
};

const KnownFilter* FindFilter(const std::string& name) {
  static const std::map<std::string, KnownFilter> filters = {
      {"/FlateDecode", {qpdf_dl_generalized, 1032}},
      {"/Fl", {qpdf_dl_generalized, 1032}},
      {"/LZWDecode", {qpdf_dl_generalized, 4096.0 * 8 / 9}},
      {"/LZW", {qpdf_dl_generalized, 4096.0 * 8 / 9}},
      {"/ASCII85Decode", {qpdf_dl_generalized, 4}},
      {"/A85", {qpdf_dl_generalized, 4}},
      {"/ASCIIHexDecode", {qpdf_dl_generalized, 1}},
      {"/AHx", {qpdf_dl_generalized, 1}},
      {"/RunLengthDecode", {qpdf_dl_specialized, 64}},
      {"/RL", {qpdf_dl_specialized, 64}},
      {"/DCTDecode", {qpdf_dl_all, 0}},
      {"/DCT", {qpdf_dl_all, 0}},
  };
  auto found = filters.find(name);
  return found == filters.end() ? nullptr : &found->second;
}

}  // namespace

bool DecodableAt(QPDFObjectHandle stream, qpdf_stream_decode_level_e level) {
  std::optional<std::vector<std::string>> filters = FilterNames(stream);
  if (!filters)
    return false;
  for (const std::string& name : *filters) {
    const KnownFilter* filter = FindFilter(name);
    if (filter == nullptr || level < filter->level)
      return false;
  }
  return true;
}

bool BoundedByItsLength(QPDFObjectHandle stream, long long maxBytes) {
  std::optional<std::vector<std::string>> filters = FilterNames(stream);
  if (!filters)
    return false;
  QPDFObjectHandle dictionary = stream.getDict();
  if (UsesPredictor(dictionary.getKey("/DecodeParms")) || UsesPredictor(dictionary.getKey("/DP")))
    return false;
  double bound = 1;
  for (const std::string& name : *filters) {
    const KnownFilter* filter = FindFilter(name);
    if (filter == nullptr || filter->maxExpansion == 0)
      return false;
    bound *= filter->maxExpansion;
  }
  // The raw bytes as qpdf reads them (after decryption), not the /Length the file claims;
  // counted, not kept, and without recording warnings (a stream that cannot be read is the
  // reader's to report). The count stops as soon as the bound is passed, so that a large
  // stream, which is decoded and counted next, is not read through twice.
  CountingDiscard raw(static_cast<long long>(static_cast<double>(maxBytes) / bound) + 1);
  try {
    if (!stream.pipeStreamData(&raw, nullptr, 0, qpdf_dl_none, /*suppress_warnings=*/true))
      return false;
  } catch (const std::exception&) {
    return false;
  }
  return bound * static_cast<double>(raw.Count()) <= static_cast<double>(maxBytes);
}

namespace {

// Decodes `stream` into `counter` (made with `budget`'s next stream limit), recording qpdf's
// warnings or not, and charges what it decoded. Throws PdfError when it passes a limit.
void Decode(QPDFObjectHandle stream, qpdf_stream_decode_level_e level, DecodeBudget& budget,
            CountingDiscard& counter, bool suppressWarnings, const std::string& label) {
  try {
    stream.pipeStreamData(&counter, nullptr, 0, level, suppressWarnings);
  } catch (const std::exception&) {
    // A stream that cannot be read is the reader's to report; only the size matters here.
  }
  if (counter.Exceeded())
    budget.ThrowPassed(stream, label);
  budget.Charge(counter.Count(), label);
}

}  // namespace

long long CheckDecodedSize(QPDFObjectHandle stream, qpdf_stream_decode_level_e level,
                           DecodeBudget& budget, const std::string& label) {
  // Every stream is counted, however short: what it decodes to is charged to the run,
  // which its length alone cannot tell.
  CountingDiscard counter(budget.NextStreamLimit());
  Decode(stream, level, budget, counter, /*suppressWarnings=*/true, label);
  return counter.Count();
}

void CheckDecodesWhole(QPDFObjectHandle stream, qpdf_stream_decode_level_e level,
                       DecodeBudget& budget, const std::string& label) {
  CountingDiscard counter(budget.NextStreamLimit());
  Decode(stream, level, budget, counter, /*suppressWarnings=*/false, label);
}

void CheckDecodedSize(QPDFObjectHandle stream, qpdf_stream_decode_level_e level, long long maxBytes,
                      const std::string& label) {
  if (BoundedByItsLength(stream, maxBytes))
    return;
  DecodeBudget alone(maxBytes, std::numeric_limits<long long>::max());
  CheckDecodedSize(stream, level, alone, label);
}

std::string DecodeWithin(QPDFObjectHandle stream, qpdf_stream_decode_level_e level,
                         DecodeBudget& budget, const std::string& label) {
  std::string data;
  CountingCopy counter(budget.NextStreamLimit(), data);
  Decode(stream, level, budget, counter, /*suppressWarnings=*/false, label);
  return data;
}

}  // namespace pdf::document
