#include "tests/pdf_images.h"

#include <qpdf/Pl_Buffer.hh>
#include <qpdf/Pl_DCT.hh>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "processors/pdf/samples/sample_pdf.h"
#include "tests/pdf_job.h"

namespace vtps_test {

namespace {

class Progressive : public Pl_DCT::CompressConfig {
 public:
  void apply(jpeg_compress_struct* settings) override { jpeg_simple_progression(settings); }
};

}  // namespace

// A photo-like picture: smooth gradients with a little noise, as a scanner makes.
Picture Photo(int width, int height) {
  Picture picture{width, height,
                  std::vector<unsigned char>(3 * static_cast<std::size_t>(width) *
                                             static_cast<std::size_t>(height))};
  std::uint32_t seed = 12345;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      std::size_t at = 3 * (static_cast<std::size_t>(y) * width + x);
      double base[3] = {255.0 * x / width, 255.0 * y / height,
                        127.5 + 127.5 * std::sin(6.28 * (x + y) / (width + height))};
      for (int c = 0; c < 3; ++c) {
        seed = seed * 1664525 + 1013904223;
        int noise = static_cast<int>(seed >> 28) - 8;
        picture.pixels[at + c] =
            static_cast<unsigned char>(std::clamp(static_cast<int>(base[c]) + noise, 0, 255));
      }
    }
  return picture;
}

// Writes `samples` (`format`, libpng's simplified API) as a PNG.
void WritePng(const std::string& path, int width, int height, png_uint_32 format,
              const void* samples, const void* colourMap, int colours) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = format;
  image.colormap_entries = static_cast<png_uint_32>(colours);
  ASSERT_NE(png_image_write_to_file(&image, path.c_str(), 0, samples, 0, colourMap), 0)
      << image.message;
}

// Decodes a PNG to RGB; width 0 when it cannot be read.
Picture ReadPng(const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  Picture picture;
  if (png_image_begin_read_from_file(&image, path.c_str()) == 0)
    return picture;
  image.format = PNG_FORMAT_RGB;
  picture.pixels.resize(PNG_IMAGE_SIZE(image));
  if (png_image_finish_read(&image, nullptr, picture.pixels.data(), 0, nullptr) == 0)
    return picture;
  picture.width = static_cast<int>(image.width);
  picture.height = static_cast<int>(image.height);
  return picture;
}

// Encodes `samples` as a JPEG with qpdf's libjpeg pipeline (CMYK gets Adobe's marker),
// baseline or progressive.
std::string Jpeg(int width, int height, int components, const std::vector<unsigned char>& samples,
                 bool progressive) {
  Pl_Buffer out("jpeg");
  J_COLOR_SPACE space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
  Progressive progression;
  Pl_DCT encoder("jpeg", &out, static_cast<JDIMENSION>(width), static_cast<JDIMENSION>(height),
                 components, space, progressive ? &progression : nullptr);
  encoder.write(samples.data(), samples.size());
  encoder.finish();
  std::shared_ptr<Buffer> buffer = out.getBufferSharedPointer();
  return std::string(reinterpret_cast<const char*>(buffer->getBuffer()), buffer->getSize());
}

std::uint32_t Crc32(const std::string& bytes) {
  std::uint32_t crc = 0xFFFFFFFF;
  for (char c : bytes) {
    crc ^= static_cast<unsigned char>(c);
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
  }
  return ~crc;
}

void PutWord(std::string& bytes, std::size_t at, std::uint32_t value, int size) {
  for (int i = 0; i < size; ++i)
    bytes[at + i] = static_cast<char>(value >> (8 * (size - 1 - i)));
}

Picture PdfScanTest::Rendered(const std::string& pdf, int page, int dpi) {
  std::string name = "render-" + std::to_string(++renders_) + "-%d.png";
  Run run = RunProcessor("pdf-render", Dict({{"file", pdf},
                                             {"pages", std::to_string(page)},
                                             {"dpi", std::to_string(dpi)},
                                             {"output", name}}));
  EXPECT_EQ(run.exitCode, 0) << Show(run.answer);
  return ReadPng(
      InRoot("render-" + std::to_string(renders_) + "-" + std::to_string(page) + ".png"));
}

void PdfScanTest::MakeScan(const std::string& text, const std::string& name) {
  pdf::samples::SampleDocument document;
  document.pages = {{612, 792, text, 0, std::nullopt}};
  pdf::samples::WriteSamplePdf(document, InRoot("typed.pdf"));
  Run render = RunProcessor(
      "pdf-render", Dict({{"file", "typed.pdf"}, {"dpi", "300"}, {"output", "typed-%d.png"}}));
  ASSERT_EQ(render.exitCode, 0) << Show(render.answer);
  Run scan = RunProcessor(
      "pdf-from-images",
      Dict({{"images", Array({"typed-1.png"})}, {"pageSize", "Letter"}, {"output", name}}));
  ASSERT_EQ(scan.exitCode, 0) << Show(scan.answer);
}

}  // namespace vtps_test
