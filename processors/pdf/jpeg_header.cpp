#include "processors/pdf/jpeg_header.h"

#include <cstdint>

#include "processors/pdf/pdf_error.h"

namespace {

int Byte(const std::string& data, std::size_t at) {
  return static_cast<std::uint8_t>(data[at]);
}

int Word(const std::string& data, std::size_t at) {
  return Byte(data, at) << 8 | Byte(data, at + 1);
}

// Markers that carry no length: the start of the image and the restart markers.
bool Standalone(int marker) {
  return marker == 0x01 || marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7);
}

}  // namespace

JpegHeader ReadJpegHeader(const std::string& data, const std::string& what) {
  auto refuse = [&](const std::string& reason) {
    return PdfError(what + " is not a usable JPEG image (" + reason + ")");
  };
  if (data.size() < 4 || Byte(data, 0) != 0xFF || Byte(data, 1) != 0xD8)
    throw refuse("it does not start with a JPEG marker");
  JpegHeader header;
  bool frame = false;
  std::size_t at = 2;
  while (true) {
    if (at + 2 > data.size())
      throw refuse("it ends before its image data");
    if (Byte(data, at) != 0xFF)
      throw refuse("a marker is damaged");
    int marker = Byte(data, at + 1);
    if (marker == 0xFF) {  // fill byte before a marker
      ++at;
      continue;
    }
    at += 2;
    if (Standalone(marker))
      continue;
    if (at + 2 > data.size())
      throw refuse("it ends before its image data");
    std::size_t length = static_cast<std::size_t>(Word(data, at));
    if (length < 2 || at + length > data.size())
      throw refuse("it ends before its image data");
    std::size_t body = at + 2;
    std::size_t bodyLength = length - 2;
    if (marker == 0xDA)  // start of scan: the header is complete
      break;
    bool startOfFrame =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (startOfFrame) {
      if (frame)
        throw refuse("it holds more than one frame");
      if (marker != 0xC0 && marker != 0xC1 && marker != 0xC2)
        throw refuse(marker >= 0xC9 ? "arithmetic coding is not supported"
                                    : "lossless and hierarchical JPEG are not supported");
      if (bodyLength < 6)
        throw refuse("its frame header is damaged");
      if (Byte(data, body) != 8)
        throw refuse(std::to_string(Byte(data, body)) + " bits per sample; only 8 are supported");
      header.height = Word(data, body + 1);
      header.width = Word(data, body + 3);
      header.components = Byte(data, body + 5);
      header.progressive = marker == 0xC2;
      frame = true;
    } else if (marker == 0xE0 && bodyLength >= 12 && data.compare(body, 5, "JFIF\0", 5) == 0) {
      int units = Byte(data, body + 7);
      double x = Word(data, body + 8);
      double y = Word(data, body + 10);
      // Units 1: dots per inch; 2: dots per centimetre; 0: an aspect ratio only.
      if (units == 1 || units == 2) {
        header.xDpi = units == 1 ? x : x * 2.54;
        header.yDpi = units == 1 ? y : y * 2.54;
      }
    } else if (marker == 0xEE && bodyLength >= 5 && data.compare(body, 5, "Adobe") == 0) {
      header.adobe = true;
    }
    at += length;
  }
  if (!frame)
    throw refuse("it has no frame header before its image data");
  if (header.width == 0 || header.height == 0)
    throw refuse("it declares no width or height");
  if (header.components != 1 && header.components != 3 && header.components != 4)
    throw refuse(std::to_string(header.components) + " colour components; 1, 3 or 4 are supported");
  // The data must end with the end-of-image marker, allowing a little padding after it; a
  // file cut short would draw as a partly grey page.
  std::size_t end = data.find_last_not_of(std::string("\0\r\n \t", 5));
  if (end == std::string::npos || end < 1 || end < at || Byte(data, end) != 0xD9 ||
      Byte(data, end - 1) != 0xFF)
    throw refuse("it is cut short: no end-of-image marker");
  return header;
}
