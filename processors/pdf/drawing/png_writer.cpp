#include "processors/pdf/drawing/png_writer.h"

#include <png.h>

#include <cstring>
#include <optional>
#include <vector>

#include "processors/pdf/text/pdf_error.h"

namespace pdf::drawing {

namespace {

// What libpng's callbacks report back: libpng is C and unwinds with longjmp, so no C++
// exception may pass through it; the failure is kept here and thrown once it has returned.
struct WriteState {
  run::BudgetedFile* file;
  std::optional<PdfError> failure;
};

void WriteBytes(png_structp png, png_bytep data, png_size_t length) {
  auto* state = static_cast<WriteState*>(png_get_io_ptr(png));
  try {
    state->file->Write(data, length);
  } catch (const PdfError& e) {
    state->failure = e;
    png_error(png, "write failed");
  }
}

void FlushBytes(png_structp) {}

void OnError(png_structp png, png_const_charp) {
  png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

// Row `y` of `image` as 8-bit RGB or grey samples.
void RowSamples(const poppler::image& image, int y, std::vector<png_byte>& row) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(image.const_data()) +
                      static_cast<std::size_t>(y) * static_cast<std::size_t>(image.bytes_per_row());
  int width = image.width();
  switch (image.format()) {
    case poppler::image::format_rgb24:
      // Three bytes per pixel, red first; rows are padded to four bytes.
      std::memcpy(row.data(), bytes, 3 * static_cast<std::size_t>(width));
      break;
    case poppler::image::format_bgr24:
      for (int x = 0; x < width; ++x) {
        row[3 * x] = bytes[3 * x + 2];
        row[3 * x + 1] = bytes[3 * x + 1];
        row[3 * x + 2] = bytes[3 * x];
      }
      break;
    default:
      std::memcpy(row.data(), bytes, static_cast<std::size_t>(width));
      break;
  }
}

// Encodes the image; returns false when libpng failed. Kept apart from WritePng so that no
// variable of the caller lives across the setjmp.
bool Encode(png_structp png, png_infop info, const poppler::image& image, bool grey,
            std::vector<png_byte>& row) {
  if (setjmp(png_jmpbuf(png)) != 0)
    return false;
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width()),
               static_cast<png_uint_32>(image.height()), 8,
               grey ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < image.height(); ++y) {
    RowSamples(image, y, row);
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  return true;
}

}  // namespace

void WritePng(const poppler::image& image, run::BudgetedFile& file, const std::string& label) {
  poppler::image::format_enum format = image.format();
  if (format != poppler::image::format_rgb24 && format != poppler::image::format_bgr24 &&
      format != poppler::image::format_gray8)
    throw PdfError("output \"" + label + "\": the rendered image has an unexpected format");
  bool grey = format == poppler::image::format_gray8;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
  png_infop info = png == nullptr ? nullptr : png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    throw PdfError("output \"" + label + "\" cannot be written (out of memory)");
  }
  WriteState state{&file, std::nullopt};
  std::vector<png_byte> row(static_cast<std::size_t>(image.width()) * (grey ? 1 : 3));
  png_set_write_fn(png, &state, WriteBytes, FlushBytes);
  bool failed = !Encode(png, info, image, grey, row);
  png_destroy_write_struct(&png, &info);
  if (state.failure)
    throw *state.failure;
  if (failed)
    throw PdfError("output \"" + label + "\" cannot be written (PNG encoding failed)");
  file.Close();
}

}  // namespace pdf::drawing
