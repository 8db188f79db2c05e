#include "processors/pdf/image/coded_image_size.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace pdf::image {

namespace {

std::string BigEndian(std::uint64_t value, int bytes) {
  std::string out;
  for (int i = bytes - 1; i >= 0; --i)
    out += static_cast<char>((value >> (8 * i)) & 0xFF);
  return out;
}

// A JBIG2 segment with a short header: number, flags (type), no referred-to segments, page 1.
std::string Jbig2Segment(int number, int type, const std::string& data) {
  return BigEndian(static_cast<std::uint64_t>(number), 4) + static_cast<char>(type) + '\0' +
         '\x01' + BigEndian(data.size(), 4) + data;
}

std::string Jbig2PageInformation(std::uint64_t width, std::uint64_t height) {
  return Jbig2Segment(0, 48, BigEndian(width, 4) + BigEndian(height, 4) + std::string(11, '\0'));
}

// SOC then a SIZ segment for a grid of `width` x `height` less an offset.
std::string JpxCodestream(std::uint64_t width, std::uint64_t height, std::uint64_t xOffset = 0,
                          std::uint64_t yOffset = 0) {
  std::string siz = BigEndian(0, 2) + BigEndian(width, 4) + BigEndian(height, 4) +
                    BigEndian(xOffset, 4) + BigEndian(yOffset, 4) + std::string(16, '\0') +
                    BigEndian(1, 2) + "\x07\x01\x01";
  return "\xFF\x4F\xFF\x51" + BigEndian(siz.size() + 2, 2) + siz;
}

std::string Box(const std::string& type, const std::string& body) {
  return BigEndian(body.size() + 8, 4) + type + body;
}

std::string JpegSegment(int marker, const std::string& body) {
  return std::string{'\xFF', static_cast<char>(marker)} + BigEndian(body.size() + 2, 2) + body;
}

std::string JpegFrame(int marker, std::uint64_t width, std::uint64_t height) {
  return JpegSegment(marker, "\x08" + BigEndian(height, 2) + BigEndian(width, 2) + "\x01\x01\x11");
}

const std::string kSoi = "\xFF\xD8";

struct Case {
  const char* what;
  ImageCodec codec;
  std::string data;
  std::optional<CodedSize> expected;
};

}  // namespace

TEST(CodedImageSize, ReadsTheSizeTheDataDeclares) {
  std::string striped =
      Jbig2PageInformation(640, 0xFFFFFFFF) + Jbig2Segment(1, 50, BigEndian(99, 4)) +
      Jbig2Segment(2, 50, BigEndian(45'000, 4)) + Jbig2Segment(3, 50, BigEndian(199, 4));
  std::string jp2 = Box("jP  ", "\x0D\x0A\x87\x0A") + Box("ftyp", "jp2 ") +
                    Box("jp2h", std::string(20, '\0')) + Box("jp2c", JpxCodestream(45'000, 300));
  const Case cases[] = {
      {"JBIG2 page information", ImageCodec::kJbig2,
       Jbig2Segment(7, 0, "xyz") + Jbig2PageInformation(45'000, 45'000), CodedSize{45'000, 45'000}},
      {"JBIG2 striped page: the largest end of stripe", ImageCodec::kJbig2, striped,
       CodedSize{640, 45'001}},
      {"JBIG2 without page information", ImageCodec::kJbig2, Jbig2Segment(0, 0, "abc"),
       std::nullopt},
      {"JBIG2 page information cut short", ImageCodec::kJbig2,
       Jbig2PageInformation(10, 10).substr(0, 15), std::nullopt},
      {"bare JPEG 2000 codestream", ImageCodec::kJpx, JpxCodestream(45'000, 20'000),
       CodedSize{45'000, 20'000}},
      {"JPEG 2000 image offset from the grid", ImageCodec::kJpx, JpxCodestream(1000, 800, 200, 100),
       CodedSize{800, 700}},
      {"JP2 file: the codestream's box", ImageCodec::kJpx, jp2, CodedSize{45'000, 300}},
      {"JPEG 2000 offset past the grid", ImageCodec::kJpx, JpxCodestream(10, 10, 11, 0),
       std::nullopt},
      {"JP2 box longer than the file", ImageCodec::kJpx,
       BigEndian(1'000'000, 4) + "ftyp" + JpxCodestream(5, 5), std::nullopt},
      {"JPEG 2000 SIZ cut short", ImageCodec::kJpx, JpxCodestream(5, 5).substr(0, 12),
       std::nullopt},
      {"baseline JPEG after an APP0 and fill bytes", ImageCodec::kJpeg,
       kSoi + JpegSegment(0xE0, "JFIF") + "\xFF\xFF" + JpegFrame(0xC0, 45'000, 30'000),
       CodedSize{45'000, 30'000}},
      {"progressive JPEG", ImageCodec::kJpeg, kSoi + JpegFrame(0xC2, 16, 9), CodedSize{16, 9}},
      {"a Huffman table is not a frame", ImageCodec::kJpeg,
       kSoi + JpegSegment(0xC4, std::string(17, '\0')) + JpegFrame(0xC1, 3, 4), CodedSize{3, 4}},
      {"JPEG whose scan comes before any frame", ImageCodec::kJpeg,
       kSoi + JpegSegment(0xDA, "\x01\x01\x00") + JpegFrame(0xC0, 3, 4), std::nullopt},
      {"not a JPEG", ImageCodec::kJpeg, "GIF89a" + JpegFrame(0xC0, 3, 4), std::nullopt},
      {"JPEG frame cut short", ImageCodec::kJpeg, kSoi + JpegFrame(0xC0, 3, 4).substr(0, 6),
       std::nullopt},
      {"empty data", ImageCodec::kJpeg, "", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::optional<CodedSize> size = DeclaredCodedSize(c.codec, c.data);
    ASSERT_EQ(size.has_value(), c.expected.has_value());
    if (size) {
      EXPECT_EQ(size->width, c.expected->width);
      EXPECT_EQ(size->height, c.expected->height);
    }
  }
}

TEST(CodedImageSize, EveryPrefixOfAHeaderIsReadWithinItsBytes) {
  // Each prefix either gives the whole header's size or nothing; none reads past its end
  // (AddressSanitizer sees the copy's exact length).
  const Case headers[] = {
      {"JBIG2", ImageCodec::kJbig2, Jbig2PageInformation(300, 200), CodedSize{300, 200}},
      {"JPEG 2000", ImageCodec::kJpx, Box("jp2c", JpxCodestream(300, 200)), CodedSize{300, 200}},
      {"JPEG", ImageCodec::kJpeg, kSoi + JpegFrame(0xC0, 300, 200), CodedSize{300, 200}},
  };
  for (const Case& c : headers) {
    SCOPED_TRACE(c.what);
    for (std::size_t length = 0; length <= c.data.size(); ++length) {
      std::string prefix = c.data.substr(0, length);
      std::optional<CodedSize> size = DeclaredCodedSize(c.codec, prefix);
      if (size) {
        EXPECT_EQ(size->width, 300) << length;
        EXPECT_EQ(size->height, 200) << length;
      }
    }
    EXPECT_TRUE(DeclaredCodedSize(c.codec, c.data).has_value());
  }
}

}  // namespace pdf::image
