// Bounding the bytes one stream may decode to (VTPS_PDF_MAX_STREAM_BYTES): a few megabytes
// of Flate data can inflate to gigabytes, which qpdf and poppler would hold in memory. A
// stream too short to reach the limit through its filters passes as it is; any other is
// decoded through a counting pipeline that keeps nothing and stops at the limit, before the
// real work decodes it. Use from one thread.
#pragma once

#include <qpdf/Constants.h>
#include <qpdf/Pipeline.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <string>

// A pipeline end that counts the bytes written into it and keeps none. Past `maxBytes` it
// marks itself exceeded and throws std::length_error (which qpdf turns into a failed
// decode, so the flag is what tells).
class CountingDiscard : public Pipeline {
 public:
  explicit CountingDiscard(long long maxBytes);
  void write(unsigned char const* data, size_t length) override;
  void finish() override {}

  long long Count() const { return count_; }
  bool Exceeded() const { return exceeded_; }

 private:
  long long maxBytes_;
  long long count_ = 0;
  bool exceeded_ = false;
};

// Whether qpdf decodes every filter of `stream`'s /Filter at `level` (a stream without
// filters counts as decodable: its bytes are read as they are).
bool DecodableAt(QPDFObjectHandle stream, qpdf_stream_decode_level_e level);

// Whether `stream` cannot decode to more than `maxBytes` whatever its bytes are: its raw
// length times the largest expansion of each of its filters stays within. Streams whose
// every filter has such a bound (all but DCT and filters qpdf does not know) and that use
// no predictor (which pads a short last row to the declared row size) need no decoding to
// be checked when small enough. False when the raw bytes cannot be read.
bool BoundedByItsLength(QPDFObjectHandle stream, long long maxBytes);

// Decodes `stream` at `level` into a CountingDiscard, unless BoundedByItsLength says it
// cannot pass `maxBytes`. Throws PdfError naming the file
// `label`, the stream's object and VTPS_PDF_MAX_STREAM_BYTES when it decodes to more than
// `maxBytes`. Data qpdf cannot decode is left to the caller's reader; no warning is recorded.
void CheckDecodedSize(QPDFObjectHandle stream, qpdf_stream_decode_level_e level, long long maxBytes,
                      const std::string& label);

// Decodes `stream` at `level` once, within `maxBytes` as CheckDecodedSize does (throwing
// the same PdfError past it), and returns the bytes: all of them, or those qpdf decoded
// before it failed. A failure is recorded among the document's warnings, as the reader's
// own decoding would record it, so that the damage watch refuses the run.
std::string DecodeWithin(QPDFObjectHandle stream, qpdf_stream_decode_level_e level,
                         long long maxBytes, const std::string& label);
