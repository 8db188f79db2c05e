#include "processors/pdf/image/area_resampling.h"

#include <algorithm>
#include <cmath>

namespace pdf::image {

namespace {

// What one new pixel of an axis takes from the old ones: the first old pixel and the weight
// of each, summing to 1.
struct Span {
  int first = 0;
  std::vector<double> weights;
};

// The spans of `to` new pixels over `from` old ones: new pixel i covers [i * s, (i + 1) * s)
// of the old axis, s = from / to.
std::vector<Span> Spans(int from, int to) {
  std::vector<Span> spans(static_cast<std::size_t>(to));
  double scale = static_cast<double>(from) / to;
  for (int i = 0; i < to; ++i) {
    double start = i * scale;
    double end = std::min(static_cast<double>(from), (i + 1) * scale);
    Span& span = spans[static_cast<std::size_t>(i)];
    span.first = static_cast<int>(std::floor(start));
    for (int old = span.first; old < from && old < end; ++old) {
      double covered = std::min(end, old + 1.0) - std::max(start, static_cast<double>(old));
      span.weights.push_back(covered / (end - start));
    }
  }
  return spans;
}

}  // namespace

Raster Downsample(const Raster& source, int width, int height) {
  width = std::clamp(width, 1, std::max(1, source.width));
  height = std::clamp(height, 1, std::max(1, source.height));
  if (width == source.width && height == source.height)
    return source;
  const int c = source.components;
  // Down first, one new row at a time into a row of sums at the old width, then across: the
  // memory is one row, and rounding happens once, at the end.
  std::vector<Span> down = Spans(source.height, height);
  std::vector<Span> across = Spans(source.width, width);
  Raster result{width, height, c,
                std::vector<unsigned char>(static_cast<std::size_t>(width) * height * c)};
  const std::size_t oldStride = static_cast<std::size_t>(source.width) * c;
  std::vector<double> sums(oldStride);
  for (int y = 0; y < height; ++y) {
    const Span& rows = down[static_cast<std::size_t>(y)];
    std::fill(sums.begin(), sums.end(), 0.0);
    for (std::size_t j = 0; j < rows.weights.size(); ++j) {
      const unsigned char* in = source.samples.data() + (rows.first + j) * oldStride;
      double weight = rows.weights[j];
      for (std::size_t i = 0; i < oldStride; ++i)
        sums[i] += weight * in[i];
    }
    unsigned char* out = result.samples.data() + static_cast<std::size_t>(y) * width * c;
    for (int x = 0; x < width; ++x) {
      const Span& columns = across[static_cast<std::size_t>(x)];
      for (int k = 0; k < c; ++k) {
        double sum = 0;
        for (std::size_t i = 0; i < columns.weights.size(); ++i)
          sum += columns.weights[i] * sums[(columns.first + i) * c + k];
        out[x * c + k] = static_cast<unsigned char>(std::clamp(std::lround(sum), 0L, 255L));
      }
    }
  }
  return result;
}

}  // namespace pdf::image
