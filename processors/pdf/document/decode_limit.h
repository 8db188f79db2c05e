// Bounding the bytes streams decode to: each one (VTPS_PDF_MAX_STREAM_BYTES), since a few
// megabytes of Flate data can inflate to gigabytes, which qpdf and poppler would hold in
// memory, and all streams of one run together (VTPS_PDF_MAX_DECODED_BYTES), since time
// follows what is decoded and a file of many streams each just within the first limit would
// otherwise keep a run decoding for minutes. A stream is decoded through a counting pipeline
// that keeps nothing and stops at the limits, before the real work decodes it, and what it
// decodes to is charged to the run. Use from one thread.
#pragma once

#include <qpdf/Constants.h>
#include <qpdf/Pipeline.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <string>

namespace pdf::document {

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

// The bytes one run's streams may decode to: each one and all together. One object per run
// (document::RunLimits), borrowed by everything that decodes; one thread.
class DecodeBudget {
 public:
  DecodeBudget(long long maxStreamBytes, long long maxRunBytes)
      : maxStreamBytes_(maxStreamBytes), maxRunBytes_(maxRunBytes) {}

  long long MaxStreamBytes() const { return maxStreamBytes_; }
  long long MaxRunBytes() const { return maxRunBytes_; }
  long long Decoded() const { return decoded_; }
  // The most the next stream may decode to before a limit stops it.
  long long NextStreamLimit() const;

  // Charges `bytes` that the run decodes (or will have decoded) from the file `label`.
  // Throws PdfError naming the file and VTPS_PDF_MAX_DECODED_BYTES when the run would pass
  // its limit; nothing is charged then.
  void Charge(long long bytes, const std::string& label);

  // Throws PdfError as Charge does for the stream `stream`, which decodes to more than
  // NextStreamLimit(): naming VTPS_PDF_MAX_STREAM_BYTES when that is the limit it passed.
  [[noreturn]] void ThrowPassed(QPDFObjectHandle stream, const std::string& label) const;

 private:
  long long maxStreamBytes_;
  long long maxRunBytes_;
  long long decoded_ = 0;
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

// Decodes `stream` at `level` into a CountingDiscard within `budget`'s next stream limit and
// charges what it decodes to; returns that count. Throws PdfError naming the file `label`,
// the stream's object and the limit passed (DecodeBudget::ThrowPassed, ::Charge). Data qpdf
// cannot decode is left to the caller's reader; no warning is recorded.
long long CheckDecodedSize(QPDFObjectHandle stream, qpdf_stream_decode_level_e level,
                           DecodeBudget& budget, const std::string& label);

// CheckDecodedSize for a stream the caller copies without decoding it: a failure to decode
// is recorded among the document's warnings, as the reader's own decoding would record it,
// so that the damage watch refuses the run rather than let it copy data no reader decodes.
void CheckDecodesWhole(QPDFObjectHandle stream, qpdf_stream_decode_level_e level,
                       DecodeBudget& budget, const std::string& label);

// CheckDecodedSize for one stream outside a run's budget: only `maxBytes` bounds it, and
// a stream that BoundedByItsLength says cannot pass it is not decoded at all.
void CheckDecodedSize(QPDFObjectHandle stream, qpdf_stream_decode_level_e level, long long maxBytes,
                      const std::string& label);

// Decodes `stream` at `level` once, within `budget` as CheckDecodedSize does (throwing the
// same PdfError past it and charging what it decodes), and returns the bytes: all of them,
// or those qpdf decoded before it failed. A failure is recorded among the document's
// warnings, as the reader's own decoding would record it, so that the damage watch refuses
// the run.
std::string DecodeWithin(QPDFObjectHandle stream, qpdf_stream_decode_level_e level,
                         DecodeBudget& budget, const std::string& label);

}  // namespace pdf::document
