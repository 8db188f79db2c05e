// What QPDFWriter will decode when it writes a document, checked beforehand: the writer
// holds each stream it decodes whole in memory, so every stream it would decode is first
// decoded into a counting pipeline bounded by VTPS_PDF_MAX_STREAM_BYTES, and what it
// decodes to is charged to the run's VTPS_PDF_MAX_DECODED_BYTES. The choice of
// streams follows the writer's own: with stream compression on and Flate recompression off,
// a stream whose only filter is /FlateDecode is copied as it is; metadata streams are
// decoded fully; a stream without filters is copied as the file holds it. A Flate stream
// copied as it is, other than an image, is decoded too, within the same limits, so that a
// run never copies page content no reader can decode (it reported success for outputs
// `qpdf --check` refuses). Use from one thread.
#pragma once

#include <qpdf/Constants.h>
#include <qpdf/QPDF.hh>

#include <string>

#include "processors/pdf/document/decode_limit.h"

namespace pdf::document {

struct WriterDecoding {
  qpdf_stream_decode_level_e level = qpdf_dl_generalized;  // QPDFWriter's default
  bool compressStreams = true;                             // QPDFWriter's default
  bool recompressFlate = false;                            // QPDFWriter's default
};

// Checks every stream reachable from `pdf`'s trailer that a writer set up as `decoding`
// decodes, charging `budget`. Throws PdfError as CheckDecodedSize does, naming `label`.
void CheckWriterDecoding(QPDF& pdf, const WriterDecoding& decoding, DecodeBudget& budget,
                         const std::string& label);

}  // namespace pdf::document
