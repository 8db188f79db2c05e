// What a JPEG file's header says about its image: size, components, coding, resolution and
// whether Adobe's marker is present, read from its markers without decoding anything, so
// that the data can go into a PDF unchanged (DCTDecode). A pure function of the bytes.
#pragma once

#include <string>

namespace pdf::image {

struct JpegHeader {
  int width = 0;
  int height = 0;
  int components = 0;  // 1 grey, 3 YCbCr / RGB, 4 CMYK / YCCK
  bool progressive = false;
  bool adobe = false;  // an Adobe APP14 marker: CMYK data is stored inverted
  double xDpi = 0;     // from the JFIF header; 0 when none is recorded
  double yDpi = 0;
};

// Reads the header of the JPEG `data`. Throws PdfError starting with `what` (`file "a.jpg"`)
// when the data is not a baseline or progressive 8-bit JPEG of 1, 3 or 4 components, declares
// no size, lacks a quantisation or Huffman table its first scan needs, or is cut short (no
// scan, or no end marker).
JpegHeader ReadJpegHeader(const std::string& data, const std::string& what);

}  // namespace pdf::image
