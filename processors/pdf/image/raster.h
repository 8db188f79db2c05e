// Raster: an image's samples in memory, 8 bits a component, rows top to bottom without
// padding, components interleaved (1 for grey, 3 for RGB). A plain value that owns its
// samples; the functions that take one only read it.
#pragma once

#include <cstddef>
#include <vector>

namespace pdf::image {

struct Raster {
  int width = 0;
  int height = 0;
  int components = 1;
  std::vector<unsigned char> samples;  // width x height x components bytes

  std::size_t Pixels() const {
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  }
};

}  // namespace pdf::image
