// libFuzzer target: a PNG file an image job names, decoded with libpng into 8-bit grey or RGB
// samples and alpha. It either refuses the data with PdfError or gives samples of exactly the
// size its header declares, within the pixel limit.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "processors/pdf/image/png_reader.h"
#include "processors/pdf/text/pdf_error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0)
    return 0;
  constexpr double kMaxPixels = 4'000'000;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(
      fmemopen(const_cast<std::uint8_t*>(data), size, "rb"), &std::fclose);
  if (!file)
    return 0;
  pdf::image::PngSamples samples;
  try {
    samples = pdf::image::DecodePng(file.get(), "file \"fuzz.png\"", kMaxPixels,
                                    [](const pdf::image::PngHeader&) {});
  } catch (const pdf::PdfError&) {
    return 0;
  }
  const pdf::image::PngHeader& header = samples.header;
  double pixels = static_cast<double>(header.width) * header.height;
  if (header.width <= 0 || header.height <= 0 || pixels > kMaxPixels ||
      (header.colours != 1 && header.colours != 3))
    std::abort();
  std::size_t count =
      static_cast<std::size_t>(header.width) * static_cast<std::size_t>(header.height);
  if (samples.colour.size() != count * static_cast<std::size_t>(header.colours) ||
      samples.alpha.size() != (header.alpha ? count : 0) || (!header.alpha && !samples.opaque))
    std::abort();
  return 0;
}
