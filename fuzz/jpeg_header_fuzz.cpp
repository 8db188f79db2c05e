// libFuzzer target: the header of a JPEG file an image job names, read from its markers. It
// either refuses the data with PdfError or describes an image of a real size with 1, 3 or 4
// components.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "processors/pdf/image/jpeg_header.h"
#include "processors/pdf/text/pdf_error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  pdf::image::JpegHeader header;
  try {
    header = pdf::image::ReadJpegHeader(bytes, "file \"fuzz.jpg\"");
  } catch (const pdf::PdfError&) {
    return 0;
  }
  if (header.width <= 0 || header.height <= 0 ||
      (header.components != 1 && header.components != 3 && header.components != 4) ||
      header.xDpi < 0 || header.yDpi < 0)
    std::abort();
  return 0;
}
