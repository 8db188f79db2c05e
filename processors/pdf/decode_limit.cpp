#include "processors/pdf/decode_limit.h"

#include <set>
#include <stdexcept>

#include "processors/pdf/pdf_error.h"

CountingDiscard::CountingDiscard(long long maxBytes, std::string* keep)
    : Pipeline("counting discard", nullptr), maxBytes_(maxBytes), keep_(keep) {}

void CountingDiscard::write(unsigned char const* data, size_t length) {
  count_ += static_cast<long long>(length);
  if (count_ > maxBytes_) {
    exceeded_ = true;
    throw std::length_error("decoded data passes the stream limit");
  }
  if (keep_ != nullptr)
    keep_->append(reinterpret_cast<const char*>(data), length);
}

bool DecodableAt(QPDFObjectHandle stream, qpdf_stream_decode_level_e level) {
  static const std::set<std::string> generalized = {
      "/FlateDecode",   "/Fl",  "/LZWDecode",      "/LZW",
      "/ASCII85Decode", "/A85", "/ASCIIHexDecode", "/AHx"};
  static const std::set<std::string> specialized = {"/RunLengthDecode", "/RL"};
  static const std::set<std::string> lossy = {"/DCTDecode", "/DCT"};
  QPDFObjectHandle filter = stream.getDict().getKey("/Filter");
  std::vector<QPDFObjectHandle> filters;
  if (filter.isName())
    filters.push_back(filter);
  else if (filter.isArray())
    filters = filter.getArrayAsVector();
  else if (!filter.isNull())
    return false;
  for (QPDFObjectHandle& each : filters) {
    if (!each.isName())
      return false;
    std::string name = each.getName();
    bool known = (level >= qpdf_dl_generalized && generalized.count(name) > 0) ||
                 (level >= qpdf_dl_specialized && specialized.count(name) > 0) ||
                 (level >= qpdf_dl_all && lossy.count(name) > 0);
    if (!known)
      return false;
  }
  return true;
}

namespace {

// Decodes `stream` into `counter`; true when qpdf decoded all of it.
bool Decode(QPDFObjectHandle stream, qpdf_stream_decode_level_e level, long long maxBytes,
            CountingDiscard& counter, const std::string& label) {
  bool decoded = false;
  try {
    decoded = stream.pipeStreamData(&counter, nullptr, 0, level, /*suppress_warnings=*/true);
  } catch (const std::exception&) {
    // A stream that cannot be read is the reader's to report; only the size matters here.
  }
  if (counter.Exceeded())
    throw PdfError("file \"" + label + "\": stream " + stream.getObjGen().unparse(' ') +
                   " decodes to more than " + std::to_string(maxBytes) +
                   " bytes (VTPS_PDF_MAX_STREAM_BYTES)");
  return decoded;
}

}  // namespace

void CheckDecodedSize(QPDFObjectHandle stream, qpdf_stream_decode_level_e level, long long maxBytes,
                      const std::string& label) {
  CountingDiscard counter(maxBytes);
  Decode(stream, level, maxBytes, counter, label);
}

std::optional<std::string> DecodeWithin(QPDFObjectHandle stream, qpdf_stream_decode_level_e level,
                                        long long maxBytes, const std::string& label) {
  std::string data;
  CountingDiscard counter(maxBytes, &data);
  if (!Decode(stream, level, maxBytes, counter, label))
    return std::nullopt;
  return data;
}
