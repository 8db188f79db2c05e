// What the tests of the scan operations share: pictures they make and read back (PNG files
// through libpng's simplified API, JPEG data through qpdf's libjpeg pipeline), raw bytes
// they patch, and a fixture that draws pages with pdf-render and makes scanned pages.
#pragma once

#include <png.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/pdf_root_test.h"

namespace vtps_test {

// An image in memory.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> pixels;  // RGB, 3 bytes a pixel
};

// A photo-like picture: smooth gradients with a little noise, as a scanner makes.
Picture Photo(int width, int height);

// Writes `samples` (`format`, libpng's simplified API) as a PNG; a failed write fails the
// test.
void WritePng(const std::string& path, int width, int height, png_uint_32 format,
              const void* samples, const void* colourMap = nullptr, int colours = 0);

// Decodes a PNG to RGB; width 0 when it cannot be read.
Picture ReadPng(const std::string& path);

// Encodes `samples` (1, 3 or 4 components) as a JPEG with qpdf's libjpeg pipeline (CMYK gets
// Adobe's marker), baseline or progressive.
std::string Jpeg(int width, int height, int components, const std::vector<unsigned char>& samples,
                 bool progressive = false);

// The CRC-32 of `bytes`, as PNG chunks carry it.
std::uint32_t Crc32(const std::string& bytes);

// Writes `value` big-endian into `size` bytes of `bytes` at `at`.
void PutWord(std::string& bytes, std::size_t at, std::uint32_t value, int size);

// The fixture of the scan tests.
class PdfScanTest : public PdfRootTest {
 protected:
  // Draws page `page` of `pdf` (in the root) at `dpi` with pdf-render and decodes it.
  Picture Rendered(const std::string& pdf, int page, int dpi);

  // A scanned page: `text` set in a PDF, drawn at 300 dpi and made an image-only PDF `name`.
  void MakeScan(const std::string& text, const std::string& name);

 private:
  int renders_ = 0;
};

}  // namespace vtps_test
