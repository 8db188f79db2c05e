#include "processors/pdf/image/tone_reduction.h"

#include <algorithm>

namespace pdf::image {

bool IsNearlyGrey(const Raster& rgb) {
  if (rgb.components != 3 || rgb.samples.size() != 3 * rgb.Pixels())
    return false;
  const auto allowed = static_cast<std::size_t>(kGreyOutlierFraction * rgb.Pixels());
  std::size_t outliers = 0;
  for (std::size_t i = 0; i < rgb.samples.size(); i += 3) {
    int r = rgb.samples[i];
    int g = rgb.samples[i + 1];
    int b = rgb.samples[i + 2];
    int spread = std::max({r, g, b}) - std::min({r, g, b});
    if (spread <= kGreySpread)
      continue;
    if (spread > kGreyOutlierSpread || ++outliers > allowed)
      return false;
  }
  return true;
}

Raster ToGrey(const Raster& rgb) {
  Raster grey{rgb.width, rgb.height, 1, std::vector<unsigned char>(rgb.Pixels())};
  for (std::size_t p = 0; p < grey.samples.size(); ++p) {
    const unsigned char* in = rgb.samples.data() + 3 * p;
    // Fixed point 299/587/114 per thousand, rounded.
    grey.samples[p] =
        static_cast<unsigned char>((299 * in[0] + 587 * in[1] + 114 * in[2] + 500) / 1000);
  }
  return grey;
}

GreyTones ClassifyGreyTones(const Raster& grey) {
  if (grey.components != 1 || grey.samples.size() != grey.Pixels() || grey.Pixels() == 0)
    return GreyTones::kContinuous;
  const auto allowedTones = static_cast<std::size_t>(kBilevelToneFraction * grey.Pixels());
  const auto allowedEdges = static_cast<std::size_t>(kBilevelEdgeFraction * grey.Pixels());
  auto dark = [](unsigned char v) { return v <= kBilevelTolerance; };
  auto light = [](unsigned char v) { return v >= 255 - kBilevelTolerance; };
  std::size_t tones = 0;
  std::size_t edges = 0;
  std::size_t faint = 0;
  for (int y = 0; y < grey.height; ++y)
    for (int x = 0; x < grey.width; ++x) {
      unsigned char v = grey.samples[static_cast<std::size_t>(y) * grey.width + x];
      if (dark(v) || light(v))
        continue;
      bool darkNear = false;
      bool lightNear = false;
      for (int dy = std::max(0, y - kEdgeReach); dy <= std::min(grey.height - 1, y + kEdgeReach);
           ++dy)
        for (int dx = std::max(0, x - kEdgeReach); dx <= std::min(grey.width - 1, x + kEdgeReach);
             ++dx) {
          unsigned char near = grey.samples[static_cast<std::size_t>(dy) * grey.width + dx];
          darkNear = darkNear || dark(near);
          lightNear = lightNear || light(near);
        }
      if (darkNear && lightNear) {
        if (++edges > allowedEdges)
          return GreyTones::kContinuous;
      } else if (lightNear) {
        ++faint;
      } else if (++tones > allowedTones) {
        return GreyTones::kContinuous;
      }
    }
  return static_cast<double>(faint) <= kBilevelFaintShare * static_cast<double>(edges)
             ? GreyTones::kBilevel
             : GreyTones::kStrokes;
}

std::vector<unsigned char> PackBilevel(const Raster& grey) {
  const std::size_t rowBytes = (static_cast<std::size_t>(grey.width) + 7) / 8;
  std::vector<unsigned char> bits(rowBytes * static_cast<std::size_t>(grey.height), 0);
  for (int y = 0; y < grey.height; ++y) {
    const unsigned char* in = grey.samples.data() + static_cast<std::size_t>(y) * grey.width;
    unsigned char* out = bits.data() + static_cast<std::size_t>(y) * rowBytes;
    for (int x = 0; x < grey.width; ++x)
      if (in[x] >= 128)
        out[x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
  }
  return bits;
}

std::vector<unsigned char> PackSixteenGreys(const Raster& grey) {
  const std::size_t rowBytes = (static_cast<std::size_t>(grey.width) + 1) / 2;
  std::vector<unsigned char> nibbles(rowBytes * static_cast<std::size_t>(grey.height), 0);
  for (int y = 0; y < grey.height; ++y) {
    const unsigned char* in = grey.samples.data() + static_cast<std::size_t>(y) * grey.width;
    unsigned char* out = nibbles.data() + static_cast<std::size_t>(y) * rowBytes;
    for (int x = 0; x < grey.width; ++x) {
      // The nearest of the levels 0, 17, 34, ... 255.
      auto level = static_cast<unsigned char>((in[x] * 15 + 127) / 255);
      out[x / 2] |= static_cast<unsigned char>(x % 2 == 0 ? level << 4 : level);
    }
  }
  return nibbles;
}

}  // namespace pdf::image
