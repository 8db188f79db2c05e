#include "processors/pdf/image/jpeg_header.h"

#include <cstdint>
#include <vector>

#include "processors/pdf/text/pdf_error.h"

namespace pdf::image {

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

// Refuses a first scan (its header at `body`) whose tables were not defined before it: the
// quantisation table of every component of the frame, and the Huffman tables the scan uses
// (DC tables for a scan starting at coefficient 0 that is no refinement, AC tables for one
// reaching past it). A decoder would make up what is missing, or fail part-way.
template <typename Refuse>
void CheckScanTables(const std::string& data, std::size_t body, std::size_t bodyLength,
                     const bool (&quantisation)[4], const bool (&huffman)[2][4],
                     const std::vector<int>& frameTables, const Refuse& refuse) {
  for (std::size_t i = 0; i < frameTables.size(); ++i)
    if (!quantisation[frameTables[i]])
      throw refuse("it has no quantisation table " + std::to_string(frameTables[i]) +
                   " for its colour component " + std::to_string(i + 1));
  if (bodyLength < 1)
    throw refuse("its scan header is damaged");
  std::size_t count = static_cast<std::size_t>(Byte(data, body));
  if (bodyLength < 1 + 2 * count + 3)
    throw refuse("its scan header is damaged");
  std::size_t spectral = body + 1 + 2 * count;
  bool dc = Byte(data, spectral) == 0 && (Byte(data, spectral + 2) >> 4) == 0;
  bool ac = Byte(data, spectral + 1) > 0;
  for (std::size_t i = 0; i < count; ++i) {
    int tables = Byte(data, body + 2 + 2 * i);
    if ((dc && !huffman[0][(tables >> 4) & 3]) || (ac && !huffman[1][tables & 3]))
      throw refuse("it has no Huffman table for the components of its first scan");
  }
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
  // The tables defined before the first scan: quantisation tables by number, Huffman tables
  // by class (0 DC, 1 AC) and number.
  bool quantisation[4] = {};
  bool huffman[2][4] = {};
  std::vector<int> frameTables;  // each component's quantisation table
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
    if (marker == 0xDA) {  // start of scan: the header is complete
      if (!frame)
        throw refuse("it has no frame header before its image data");
      CheckScanTables(data, body, bodyLength, quantisation, huffman, frameTables, refuse);
      break;
    }
    if (marker == 0xDB) {  // quantisation tables: each a number, then 64 entries of 1 or 2 bytes
      for (std::size_t table = body; table < body + bodyLength;) {
        int precision = Byte(data, table) >> 4;
        quantisation[Byte(data, table) & 3] = true;
        table += 1 + (precision == 0 ? 64 : 128);
      }
    } else if (marker == 0xC4) {  // Huffman tables: class and number, 16 counts, the values
      for (std::size_t table = body; table + 17 <= body + bodyLength;) {
        int kind = Byte(data, table) >> 4;
        std::size_t values = 0;
        for (int i = 1; i <= 16; ++i)
          values += static_cast<std::size_t>(Byte(data, table + static_cast<std::size_t>(i)));
        if (kind <= 1)
          huffman[kind][Byte(data, table) & 3] = true;
        table += 17 + values;
      }
    }
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
      for (int i = 0; i < header.components; ++i) {
        std::size_t component = body + 6 + 3 * static_cast<std::size_t>(i);
        if (component + 3 > body + bodyLength)
          throw refuse("its frame header is damaged");
        frameTables.push_back(Byte(data, component + 2) & 3);
      }
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

}  // namespace pdf::image
