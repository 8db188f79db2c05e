// Downsampling by area average: each new pixel is the mean of the old pixels it covers,
// weighted by how much of each it covers, so that thin strokes fade to grey instead of
// vanishing or flickering as picking the nearest pixel would. Pure functions.
#pragma once

#include "processors/pdf/image/raster.h"

namespace pdf::image {

// `source` resampled to `width` x `height` pixels, each at most the source's and at least 1;
// a size outside that is clamped to it, so an image is never made larger.
Raster Downsample(const Raster& source, int width, int height);

}  // namespace pdf::image
