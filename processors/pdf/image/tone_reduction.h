// Fewer tones for images that do not need them: an RGB image whose pixels are all (or all
// but a tiny fraction) nearly neutral is stored as grey, and a grey image of strokes on
// paper, as a scan of text is, as one bit a pixel or as 16 levels of grey. The tests are
// deliberately strict: they accept only images whose look the reduction keeps (a colour mark, a
// grey tint, a gradient or a photograph keeps its tones). Pure functions.
#pragma once

#include <vector>

#include "processors/pdf/image/raster.h"

namespace pdf::image {

// A pixel is neutral when its channels differ by at most kGreySpread; all but
// kGreyOutlierFraction of the pixels must be neutral, and none may differ by more than
// kGreyOutlierSpread.
constexpr int kGreySpread = 8;
constexpr int kGreyOutlierSpread = 24;
constexpr double kGreyOutlierFraction = 0.001;

// A grey pixel is black or white when within kBilevelTolerance of 0 or 255. A pixel between
// is the anti-aliased or blurred edge of a stroke when a black and a white pixel both lie
// within kEdgeReach pixels of it (across, down or diagonally); faint (a hairline or a dot of
// small type that never reaches black, or grey type) when only a white one does; and a tone
// of its own (inside a grey area: a tint, a gradient, a photograph) when no white one does.
// A grey image is strokes on paper when at most kBilevelToneFraction of its pixels are tones
// and at most kBilevelEdgeFraction are edges; such an image is nearly black and white when,
// besides, its faint pixels number at most kBilevelFaintShare of its edges. Measured on text
// drawn by poppler: Helvetica at 150 dpi has 5.0 % of its pixels edges and 0.24 % faint, at
// 300 dpi 2.7 % and 0.025 %; Computer Modern at 150 dpi 2.7 % and 0.30 %; none is a tone.
constexpr int kBilevelTolerance = 40;
constexpr int kEdgeReach = 2;
constexpr double kBilevelToneFraction = 0.0002;
constexpr double kBilevelEdgeFraction = 0.2;
constexpr double kBilevelFaintShare = 0.1;

enum class GreyTones {
  kContinuous,  // tints, gradients, photographs: every level may matter
  kStrokes,     // strokes on paper, some of them grey or faint
  kBilevel,     // strokes on paper, nearly black and white
};

// True when the RGB raster `rgb` is nearly neutral as above; false for other rasters.
bool IsNearlyGrey(const Raster& rgb);

// The grey of each pixel of the RGB raster `rgb` (the luma of ITU-R BT.601, rounded).
Raster ToGrey(const Raster& rgb);

// What the grey raster `grey` holds, as above; kContinuous for other rasters.
GreyTones ClassifyGreyTones(const Raster& grey);

// The grey raster `grey` as one bit a pixel, as a PDF image of 1 bit DeviceGray holds it:
// rows from the top, each padded to whole bytes, most significant bit first, 1 for a pixel
// of 128 or more (white), 0 below (black).
std::vector<unsigned char> PackBilevel(const Raster& grey);

// The grey raster `grey` at 4 bits a pixel (16 levels, each sample moved by at most 8 of
// 255): rows from the top, each padded to whole bytes, the first pixel in the high half.
std::vector<unsigned char> PackSixteenGreys(const Raster& grey);

}  // namespace pdf::image
