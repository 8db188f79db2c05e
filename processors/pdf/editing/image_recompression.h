// Recompressing a PDF's images: image XObjects stored as 8-bit grey or RGB samples (Flate)
// or as JPEG (DCT) are decoded; an image drawn at more than a resolution is downsampled to
// it (area average; only where every use of the image is known, see drawn_image_sizes.h),
// an RGB image whose pixels are all nearly neutral becomes grey, and a grey image that is
// nearly black and white becomes 1 bit a pixel (see tone_reduction.h). The samples are then
// encoded as JPEG at a chosen quality and as Flate (1-bit images as Flate only), and the
// smallest is kept only where it is smaller than the image's data before. Images that this
// would change in meaning or that are too small to matter are left as they are: masks and
// images with a mask or a soft mask, other colour spaces or sample depths, decode arrays,
// and images below a pixel count. Every image is checked against the pixel limit and charged
// to the run's image budget before it is decoded. Flate data is made at qpdf's process-wide
// level (Pl_Flate::setCompressionLevel). Use from one thread.
#pragma once

#include <qpdf/QPDF.hh>

#include <string>

#include "processors/pdf/run/image_budget.h"

namespace pdf::editing {

struct RecompressionSettings {
  int quality = 75;              // JPEG quality, 1 to 100
  long long minPixels = 4096;    // images with fewer pixels are left alone
  long long maxStreamBytes = 0;  // VTPS_PDF_MAX_STREAM_BYTES
  int maxDpi = 300;              // images drawn finer are downsampled; 0: never
  bool bilevel = true;           // nearly black-and-white grey images become 1 bit a pixel
};

// An image is downsampled only when drawn at more than maxDpi times this: resampling a
// 310 dpi scan to 300 dpi would blur it for almost nothing.
constexpr double kDownsampleMargin = 1.1;

struct RecompressionResult {
  int examined = 0;      // images that qualified and were decoded
  int recompressed = 0;  // images whose data was replaced
  int downsampled = 0;   // of those, images stored at fewer pixels
  int madeGrey = 0;      // RGB images stored as grey (or as 1 bit)
  int madeBilevel = 0;   // images stored as 1 bit a pixel
};

// Recompresses the images reachable from `pdf`'s trailer. Throws PdfError naming the file
// `label` and the limit when an image that qualifies passes the pixel limit, the run's
// image budget or VTPS_PDF_MAX_STREAM_BYTES. An image whose data cannot be decoded as its
// dictionary says is left as it is.
RecompressionResult RecompressImages(QPDF& pdf, const RecompressionSettings& settings,
                                     run::ImageBudget& budget, const std::string& label);

}  // namespace pdf::editing
