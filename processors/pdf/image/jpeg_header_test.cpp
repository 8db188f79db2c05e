#include "processors/pdf/image/jpeg_header.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "processors/pdf/text/pdf_error.h"

namespace pdf::image {

namespace {

using ::testing::HasSubstr;

// A marker segment: FF, the marker, the length (counting itself) and the body.
std::string Segment(int marker, const std::string& body) {
  std::size_t length = body.size() + 2;
  return std::string{'\xFF', static_cast<char>(marker), static_cast<char>(length >> 8),
                     static_cast<char>(length & 0xFF)} +
         body;
}

std::string Frame(int marker, int bits, int height, int width, int components) {
  std::string body{static_cast<char>(bits),          static_cast<char>(height >> 8),
                   static_cast<char>(height & 0xFF), static_cast<char>(width >> 8),
                   static_cast<char>(width & 0xFF),  static_cast<char>(components)};
  body.append(static_cast<std::size_t>(components) * 3, '\x11');
  return Segment(marker, body);
}

// A quantisation table 1 (the one Frame's components use) and Huffman tables DC 0 and AC 0
// (the ones kScan uses), empty.
const std::string kTables = Segment(0xDB, "\x01" + std::string(64, '\x01')) +
                            Segment(0xC4, std::string(17, '\0')) +
                            Segment(0xC4, "\x10" + std::string(16, '\0'));
const std::string kBare = "\xFF\xD8";
const std::string kStart = kBare + kTables;
const std::string kScan = Segment(0xDA, std::string("\x01\x01\x00\x00\x3F\x00", 6)) + "data";
const std::string kEnd = "\xFF\xD9";
const std::string kJfif300 =
    Segment(0xE0, std::string("JFIF\0\x01\x02\x01\x01\x2C\x01\x2C\x00\x00", 14));

TEST(ReadJpegHeader, ReadsSizeComponentsCodingAndResolution) {
  JpegHeader header = ReadJpegHeader(kStart + kJfif300 + Frame(0xC0, 8, 480, 640, 3) + kScan + kEnd,
                                     "file \"a.jpg\"");
  EXPECT_EQ(header.width, 640);
  EXPECT_EQ(header.height, 480);
  EXPECT_EQ(header.components, 3);
  EXPECT_FALSE(header.progressive);
  EXPECT_FALSE(header.adobe);
  EXPECT_DOUBLE_EQ(header.xDpi, 300);
  EXPECT_DOUBLE_EQ(header.yDpi, 300);

  header = ReadJpegHeader(kStart + Segment(0xEE, "Adobe\x00\x64\x00\x00\x00\x00\x02") +
                              Frame(0xC2, 8, 10, 20, 4) + kScan + kEnd + std::string(3, '\0'),
                          "file \"a.jpg\"");
  EXPECT_TRUE(header.progressive);
  EXPECT_TRUE(header.adobe);
  EXPECT_EQ(header.components, 4);
  EXPECT_EQ(header.xDpi, 0);
}

TEST(ReadJpegHeader, RefusesWhatCannotPassThrough) {
  struct Case {
    std::string data;
    const char* reason;
  };
  const Case cases[] = {
      {"GIF89a", "does not start with a JPEG marker"},
      {kStart + Frame(0xC0, 8, 10, 10, 3), "ends before its image data"},
      {kStart + Frame(0xC0, 8, 10, 10, 3) + kScan, "cut short"},
      {kStart + Frame(0xC0, 8, 10, 10, 3) + kScan.substr(0, 5), "ends before its image data"},
      {kStart + kScan + kEnd, "no frame header"},
      {kStart + Frame(0xC0, 12, 10, 10, 3) + kScan + kEnd, "12 bits per sample"},
      {kStart + Frame(0xC0, 8, 0, 10, 3) + kScan + kEnd, "declares no width or height"},
      {kStart + Frame(0xC0, 8, 10, 10, 2) + kScan + kEnd, "2 colour components"},
      {kStart + Frame(0xC9, 8, 10, 10, 3) + kScan + kEnd, "arithmetic coding"},
      {kStart + Frame(0xC3, 8, 10, 10, 3) + kScan + kEnd, "lossless"},
      {kStart + Frame(0xC0, 8, 10, 10, 3) + Frame(0xC0, 8, 10, 10, 3) + kScan + kEnd,
       "more than one frame"},
      {kStart + "\xFF\xE1\x00\x01" + kScan + kEnd, "ends before its image data"},
      {kStart + "\x12\x34", "a marker is damaged"},
      {kBare + Segment(0xC4, std::string(17, '\0')) +
           Segment(0xC4, "\x10" + std::string(16, '\0')) + Frame(0xC0, 8, 10, 10, 3) + kScan + kEnd,
       "no quantisation table 1 for its colour component 1"},
      {kBare + Segment(0xDB, "\x01" + std::string(64, '\x01')) + Frame(0xC0, 8, 10, 10, 3) + kScan +
           kEnd,
       "no Huffman table"},
  };
  for (const Case& c : cases) {
    try {
      ReadJpegHeader(c.data, "file \"x.jpg\"");
      ADD_FAILURE() << "accepted: " << c.reason;
    } catch (const PdfError& e) {
      EXPECT_THAT(e.what(), HasSubstr("file \"x.jpg\" is not a usable JPEG image"));
      EXPECT_THAT(e.what(), HasSubstr(c.reason));
    }
  }
}

}  // namespace

}  // namespace pdf::image
