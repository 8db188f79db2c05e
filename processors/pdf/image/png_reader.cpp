#include "processors/pdf/image/png_reader.h"

#include <png.h>

#include <cstring>

#include "processors/pdf/text/pdf_error.h"

namespace pdf::image {

namespace {

// The most memory libpng may allocate for one chunk (an ICC profile, compressed text):
// a small file must not make it inflate gigabytes.
constexpr png_alloc_size_t kMaxChunkBytes = 8 << 20;

// libpng's failure message, kept for the error: libpng is C and unwinds with longjmp, so no
// C++ exception may pass through it.
struct ReadState {
  std::string message;
};

void OnError(png_structp png, png_const_charp message) {
  static_cast<ReadState*>(png_get_error_ptr(png))->message = message;
  png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

// Owns libpng's read structures.
class PngRead {
 public:
  PngRead(std::FILE* file, const std::string& what) : what_(what) {
    png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state_, OnError, OnWarning);
    info_ = png_ == nullptr ? nullptr : png_create_info_struct(png_);
    if (info_ == nullptr)
      throw PdfError(what + " cannot be read (out of memory)");
    png_init_io(png_, file);
    png_set_chunk_malloc_max(png_, kMaxChunkBytes);
    png_set_chunk_cache_max(png_, 128);
    // Only the chunks that change the picture or its size on the page are read.
    png_set_keep_unknown_chunks(png_, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
    static const png_byte kept[] = {'p', 'H', 'Y', 's', 0, 't', 'R', 'N', 'S', 0};
    png_set_keep_unknown_chunks(png_, PNG_HANDLE_CHUNK_AS_DEFAULT, kept, 2);
  }
  ~PngRead() { png_destroy_read_struct(&png_, &info_, nullptr); }
  PngRead(const PngRead&) = delete;
  PngRead& operator=(const PngRead&) = delete;

  png_structp png() const { return png_; }
  png_infop info() const { return info_; }
  PdfError Failure() const {
    return PdfError(what_ + " is not a readable PNG image (" +
                    (state_.message.empty() ? std::string("damaged data") : state_.message) + ")");
  }

 private:
  std::string what_;
  ReadState state_;
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

// Reads the header and sets up the transforms to 8-bit grey or RGB with optional alpha.
// False when libpng failed. No C++ object with a destructor lives across the setjmp.
bool ReadInfo(png_structp png, png_infop info) {
  if (setjmp(png_jmpbuf(png)) != 0)
    return false;
  png_read_info(png, info);
  int colourType = png_get_color_type(png, info);
  if (png_get_bit_depth(png, info) == 16)
    png_set_strip_16(png);
  if (colourType == PNG_COLOR_TYPE_PALETTE)
    png_set_palette_to_rgb(png);
  if (colourType == PNG_COLOR_TYPE_GRAY && png_get_bit_depth(png, info) < 8)
    png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS))
    png_set_tRNS_to_alpha(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  return true;
}

bool ReadRows(png_structp png, png_infop info, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png)) != 0)
    return false;
  png_read_image(png, rows);
  png_read_end(png, info);
  return true;
}

// Walks the file's chunk list, seeking over each chunk's data, and refuses a chunk whose
// declared length runs past the end of the file or, outside the image data, passes
// kMaxChunkBytes: libpng sizes its buffer for a chunk from the declared length before reading
// it, so a few bytes could otherwise make it allocate a gigabyte. Leaves the file at its
// start. Files it cannot seek in are left to libpng.
void CheckChunkLengths(std::FILE* file, const std::string& what) {
  if (std::fseek(file, 0, SEEK_END) != 0)
    return;
  long size = std::ftell(file);
  std::rewind(file);
  if (size < 0)
    return;
  long at = 8;  // the signature
  unsigned char header[8];
  while (at + 8 <= size && std::fseek(file, at, SEEK_SET) == 0 &&
         std::fread(header, 1, sizeof header, file) == sizeof header) {
    unsigned long length = static_cast<unsigned long>(header[0]) << 24 |
                           static_cast<unsigned long>(header[1]) << 16 |
                           static_cast<unsigned long>(header[2]) << 8 | header[3];
    bool imageData = std::memcmp(header + 4, "IDAT", 4) == 0;
    if (static_cast<long long>(length) > static_cast<long long>(size) - at - 12)
      throw PdfError(what + " is not a readable PNG image (a chunk declares " +
                     std::to_string(length) + " bytes, more than the file holds)");
    if (!imageData && length > kMaxChunkBytes)
      throw PdfError(what + " is not a readable PNG image (a chunk declares " +
                     std::to_string(length) + " bytes, more than " +
                     std::to_string(kMaxChunkBytes >> 20) + " MiB)");
    if (std::memcmp(header + 4, "IEND", 4) == 0)
      break;
    at += 12 + static_cast<long>(length);
  }
  std::rewind(file);
}

PngHeader HeaderOf(const PngRead& read, const std::string& what, double maxPixels) {
  png_structp png = read.png();
  png_infop info = read.info();
  PngHeader header;
  header.width = static_cast<int>(png_get_image_width(png, info));
  header.height = static_cast<int>(png_get_image_height(png, info));
  int channels = png_get_channels(png, info);
  header.alpha = channels == 2 || channels == 4;
  header.colours = channels <= 2 ? 1 : 3;
  if (png_get_bit_depth(png, info) != 8 || channels < 1 || channels > 4)
    throw PdfError(what + " is not a readable PNG image (unexpected sample layout)");
  double pixels = static_cast<double>(png_get_image_width(png, info)) *
                  static_cast<double>(png_get_image_height(png, info));
  if (pixels > maxPixels)
    throw PdfError(what + " is " + std::to_string(png_get_image_width(png, info)) + " x " +
                   std::to_string(png_get_image_height(png, info)) + " pixels; at most " +
                   std::to_string(static_cast<long long>(maxPixels / 1e6)) +
                   " megapixels per page");
  png_uint_32 xPerMetre = 0;
  png_uint_32 yPerMetre = 0;
  int unit = 0;
  if (png_get_pHYs(png, info, &xPerMetre, &yPerMetre, &unit) != 0 && unit == PNG_RESOLUTION_METER &&
      xPerMetre > 0 && yPerMetre > 0) {
    header.xDpi = xPerMetre * 0.0254;
    header.yDpi = yPerMetre * 0.0254;
  }
  return header;
}

}  // namespace

PngSamples DecodePng(std::FILE* file, const std::string& what, double maxPixels,
                     const std::function<void(const PngHeader&)>& checkSize) {
  CheckChunkLengths(file, what);
  PngRead read(file, what);
  if (!ReadInfo(read.png(), read.info()))
    throw read.Failure();
  PngSamples samples;
  samples.header = HeaderOf(read, what, maxPixels);
  checkSize(samples.header);
  const PngHeader& header = samples.header;
  std::size_t channels = static_cast<std::size_t>(header.colours + (header.alpha ? 1 : 0));
  std::size_t width = static_cast<std::size_t>(header.width);
  std::size_t height = static_cast<std::size_t>(header.height);
  std::size_t rowBytes = width * channels;
  if (png_get_rowbytes(read.png(), read.info()) != rowBytes)
    throw PdfError(what + " is not a readable PNG image (unexpected row size)");
  std::vector<unsigned char> pixels(rowBytes * height);
  std::vector<png_bytep> rows(height);
  for (std::size_t y = 0; y < height; ++y)
    rows[y] = pixels.data() + y * rowBytes;
  if (!ReadRows(read.png(), read.info(), rows.data()))
    throw read.Failure();
  if (!header.alpha) {
    samples.colour = std::move(pixels);
    return samples;
  }
  // The alpha channel goes to a mask of its own; the colour samples are packed in place
  // without it (each pixel's colour lands at or before where the pixel was read).
  std::size_t colours = static_cast<std::size_t>(header.colours);
  samples.alpha.resize(width * height);
  for (std::size_t i = 0; i < width * height; ++i) {
    unsigned char pixel[4];
    for (std::size_t c = 0; c < channels; ++c)
      pixel[c] = pixels[i * channels + c];
    for (std::size_t c = 0; c < colours; ++c)
      pixels[i * colours + c] = pixel[c];
    samples.alpha[i] = pixel[colours];
    if (pixel[colours] != 255)
      samples.opaque = false;
  }
  pixels.resize(width * height * colours);
  samples.colour = std::move(pixels);
  return samples;
}

}  // namespace pdf::image
