// Reading PNG images with libpng for a PDF page: any colour type and depth becomes 8-bit
// grey or RGB samples (palettes expanded, 16-bit samples reduced, low-depth grey widened),
// with transparency (an alpha channel or a tRNS chunk) split off as 8-bit alpha samples for
// a soft mask. The image's declared size is checked against the pixel limit before any row
// is decoded; ancillary chunks other than pHYs and tRNS are skipped unread, and no chunk may
// make libpng allocate more than a few megabytes. Use from one thread.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace pdf::image {

struct PngHeader {
  int width = 0;
  int height = 0;
  int colours = 0;  // 1 grey or 3 RGB, after expansion
  bool alpha = false;
  double xDpi = 0;  // from pHYs; 0 when none is recorded
  double yDpi = 0;
};

struct PngSamples {
  PngHeader header;
  std::vector<unsigned char> colour;  // rows of width x colours bytes
  std::vector<unsigned char> alpha;   // rows of width bytes; empty without alpha
  bool opaque = true;                 // every alpha sample is 255
};

// Decodes the PNG in `file` (from its start). `checkSize` is called with the header before
// any row is decoded and may throw to refuse the image (a budget). Throws PdfError starting
// with `what` when the data is damaged or cut short, or when it is no readable PNG or declares more
// than `maxPixels` pixels.
PngSamples DecodePng(std::FILE* file, const std::string& what, double maxPixels,
                     const std::function<void(const PngHeader&)>& checkSize);

}  // namespace pdf::image
