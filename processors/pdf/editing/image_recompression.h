// Recompressing a PDF's images: image XObjects stored as 8-bit grey or RGB samples (Flate)
// or as JPEG (DCT) are decoded; an image drawn at more than a resolution is downsampled to
// it (area average; only where every use of the image is known, see drawn_image_sizes.h),
// an RGB image whose pixels are all nearly neutral becomes grey, and a grey image of strokes
// on paper becomes 1 bit a pixel where it is nearly black and white and drawn at
// kBilevelMinDpi or more, 4 bits (16 greys) otherwise (see tone_reduction.h). Other samples
// are encoded as JPEG at a chosen quality and as Flate, and the smaller kept; 1- and 4-bit
// ones as Flate. The new data replaces the old only where it is smaller. Images that this
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
  bool bilevel = true;           // grey images of strokes on paper become 1 or 4 bits a pixel
};

// Below this resolution (the lowest any use of the image is drawn at) one bit a pixel makes
// small type jagged and thins its hairlines; 16 greys keep its anti-aliasing. An image whose
// uses are not all known counts as drawn below it.
constexpr double kBilevelMinDpi = 200;

// An image is downsampled only when drawn at more than maxDpi times this: resampling a
// 310 dpi scan to 300 dpi would blur it for almost nothing.
constexpr double kDownsampleMargin = 1.1;

struct RecompressionResult {
  int examined = 0;      // images that qualified and were decoded
  int recompressed = 0;  // images whose data was replaced
  int downsampled = 0;   // of those, images stored at fewer pixels
  int madeGrey = 0;      // RGB images stored as grey (or as 1 bit)
  int madeBilevel = 0;   // images stored as 1 bit a pixel
  int madeFourBit = 0;   // images stored as 4 bits a pixel
};

// Recompresses the images reachable from `pdf`'s trailer. Throws PdfError naming the file
// `label` and the limit when an image that qualifies passes the pixel limit, the run's
// image budget or VTPS_PDF_MAX_STREAM_BYTES. An image whose data cannot be decoded as its
// dictionary says is left as it is.
RecompressionResult RecompressImages(QPDF& pdf, const RecompressionSettings& settings,
                                     run::ImageBudget& budget, const std::string& label);

}  // namespace pdf::editing
