#include "processors/pdf/image/coded_image_size.h"

#include <algorithm>
#include <cstdint>

namespace pdf::image {

namespace {

// The big-endian number of `bytes` bytes at `at`; nullopt past the end.
std::optional<std::uint64_t> Number(std::string_view data, std::size_t at, int bytes) {
  if (at + static_cast<std::size_t>(bytes) > data.size())
    return std::nullopt;
  std::uint64_t value = 0;
  for (int i = 0; i < bytes; ++i)
    value = value << 8 | static_cast<std::uint8_t>(data[at + static_cast<std::size_t>(i)]);
  return value;
}

// JBIG2 segments as PDF embeds them (no file header): number, flags, referred-to segments,
// page association, data length, data. The page information segment (type 48) holds the
// page's width and height; a height of 0xFFFFFFFF says the page is striped, its height
// growing with each end-of-stripe segment (type 50).
std::optional<CodedSize> Jbig2Size(std::string_view data) {
  std::optional<CodedSize> page;
  long long stripedHeight = 0;
  bool striped = false;
  std::size_t at = 0;
  while (at < data.size()) {
    std::optional<std::uint64_t> number = Number(data, at, 4);
    std::optional<std::uint64_t> flags = Number(data, at + 4, 1);
    std::optional<std::uint64_t> referred = Number(data, at + 5, 1);
    if (!number || !flags || !referred)
      break;
    int type = static_cast<int>(*flags & 0x3F);
    std::size_t cursor = at + 6;
    std::uint64_t count = *referred >> 5;
    if (count == 7) {  // the long form: a 29-bit count and a bit field of retain flags
      std::optional<std::uint64_t> longCount = Number(data, at + 5, 4);
      if (!longCount)
        break;
      count = *longCount & 0x1FFFFFFF;
      cursor = at + 9 + (count + 8) / 8;
    }
    std::size_t referenceSize = *number <= 256 ? 1 : *number <= 65536 ? 2 : 4;
    cursor += static_cast<std::size_t>(count) * referenceSize;
    cursor += (*flags & 0x40) ? 4 : 1;  // page association
    std::optional<std::uint64_t> length = Number(data, cursor, 4);
    if (!length)
      break;
    cursor += 4;
    if (type == 48) {
      std::optional<std::uint64_t> width = Number(data, cursor, 4);
      std::optional<std::uint64_t> height = Number(data, cursor + 4, 4);
      if (!width || !height)
        break;
      striped = *height == 0xFFFFFFFF;
      page =
          CodedSize{static_cast<long long>(*width), striped ? 0 : static_cast<long long>(*height)};
    } else if (type == 50) {
      if (std::optional<std::uint64_t> row = Number(data, cursor, 4))
        stripedHeight = std::max(stripedHeight, static_cast<long long>(*row) + 1);
    }
    // A segment of unknown length (0xFFFFFFFF, an immediate generic region) ends the walk.
    if (*length == 0xFFFFFFFF || cursor + *length > data.size())
      break;
    at = cursor + static_cast<std::size_t>(*length);
  }
  if (page && striped)
    page->height = stripedHeight;
  return page;
}

// The SIZ marker segment of a JPEG 2000 codestream at `at` (just after SOC): the reference
// grid's size less the image's offset.
std::optional<CodedSize> SizMarker(std::string_view data, std::size_t at) {
  if (Number(data, at, 2) != 0xFF51)
    return std::nullopt;
  std::optional<std::uint64_t> xsiz = Number(data, at + 6, 4);
  std::optional<std::uint64_t> ysiz = Number(data, at + 10, 4);
  std::optional<std::uint64_t> xosiz = Number(data, at + 14, 4);
  std::optional<std::uint64_t> yosiz = Number(data, at + 18, 4);
  if (!xsiz || !ysiz || !xosiz || !yosiz || *xosiz > *xsiz || *yosiz > *ysiz)
    return std::nullopt;
  return CodedSize{static_cast<long long>(*xsiz - *xosiz), static_cast<long long>(*ysiz - *yosiz)};
}

// A bare codestream starts with SOC (FF 4F); a JP2 file is a sequence of boxes (length,
// type), its codestream in the "jp2c" box.
std::optional<CodedSize> JpxSize(std::string_view data) {
  if (Number(data, 0, 2) == 0xFF4F)
    return SizMarker(data, 2);
  std::size_t at = 0;
  while (at + 8 <= data.size()) {
    std::uint64_t length = *Number(data, at, 4);
    std::string_view type = data.substr(at + 4, 4);
    std::size_t header = 8;
    if (length == 1) {  // a 64-bit length follows the type
      std::optional<std::uint64_t> extended = Number(data, at + 8, 8);
      if (!extended)
        return std::nullopt;
      length = *extended;
      header = 16;
    }
    if (type == "jp2c")
      return Number(data, at + header, 2) == 0xFF4F ? SizMarker(data, at + header + 2)
                                                    : std::nullopt;
    // A box running to the end of the file (length 0), or one too short, ends the walk.
    if (length < header || length > data.size() - at)
      return std::nullopt;
    at += static_cast<std::size_t>(length);
  }
  return std::nullopt;
}

// The first start-of-frame marker of a JPEG: its height and width.
std::optional<CodedSize> JpegSize(std::string_view data) {
  if (Number(data, 0, 2) != 0xFFD8)
    return std::nullopt;
  std::size_t at = 2;
  while (at + 4 <= data.size()) {
    if (static_cast<std::uint8_t>(data[at]) != 0xFF)
      return std::nullopt;
    int marker = static_cast<std::uint8_t>(data[at + 1]);
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {
      at += 2;
      continue;
    }
    std::uint64_t length = *Number(data, at + 2, 2);
    bool frame =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      std::optional<std::uint64_t> height = Number(data, at + 5, 2);
      std::optional<std::uint64_t> width = Number(data, at + 7, 2);
      if (!height || !width)
        return std::nullopt;
      return CodedSize{static_cast<long long>(*width), static_cast<long long>(*height)};
    }
    if (marker == 0xDA || length < 2)
      return std::nullopt;
    at += 2 + static_cast<std::size_t>(length);
  }
  return std::nullopt;
}

}  // namespace

std::optional<CodedSize> DeclaredCodedSize(ImageCodec codec, std::string_view data) {
  switch (codec) {
    case ImageCodec::kJbig2:
      return Jbig2Size(data);
    case ImageCodec::kJpx:
      return JpxSize(data);
    case ImageCodec::kJpeg:
      return JpegSize(data);
  }
  return std::nullopt;
}

}  // namespace pdf::image
