// Recompressing a PDF's photographs: image XObjects stored as 8-bit grey or RGB samples
// (Flate) or as JPEG (DCT) are decoded and encoded again as JPEG at a chosen quality, and
// the new data is kept only where it is smaller. Images that JPEG would change in meaning
// or that are too small to matter are left as they are: masks and images with a mask or a
// soft mask, other colour spaces or sample depths, decode arrays, and images below a pixel
// count. Every image is checked against the pixel limit and charged to the run's image
// budget before it is decoded. Use from one thread.
#pragma once

#include <qpdf/QPDF.hh>

#include <string>

#include "processors/pdf/run/image_budget.h"

namespace pdf::editing {

struct RecompressionSettings {
  int quality = 75;              // JPEG quality, 1 to 100
  long long minPixels = 4096;    // images with fewer pixels are left alone
  long long maxStreamBytes = 0;  // VTPS_PDF_MAX_STREAM_BYTES
};

struct RecompressionResult {
  int examined = 0;      // images that qualified and were decoded
  int recompressed = 0;  // images whose data was replaced
};

// Recompresses the images reachable from `pdf`'s trailer. Throws PdfError naming the file
// `label` and the limit when an image that qualifies passes the pixel limit, the run's
// image budget or VTPS_PDF_MAX_STREAM_BYTES. An image whose data cannot be decoded as its
// dictionary says is left as it is.
RecompressionResult RecompressImages(QPDF& pdf, const RecompressionSettings& settings,
                                     run::ImageBudget& budget, const std::string& label);

}  // namespace pdf::editing
