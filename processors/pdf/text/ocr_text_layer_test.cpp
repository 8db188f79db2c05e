#include "processors/pdf/text/ocr_text_layer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace pdf::text {

namespace {

using ::testing::HasSubstr;

// Where the matrix takes the displayed point (x, y).
std::pair<double, double> Apply(const std::array<double, 6>& m, double x, double y) {
  return {m[0] * x + m[2] * y + m[4], m[1] * x + m[3] * y + m[5]};
}

TEST(DisplayToPage, TakesTheDisplayedCornersToThePagesOwn) {
  // A crop box 100 wide and 200 high at (10, 20); displayed, the top left corner shows the
  // corner that the rotation turns there.
  struct Case {
    int rotate;
    std::pair<double, double> displayedOrigin;  // where (0, 0) of the display lands
    std::pair<double, double> displayedTopLeft;
  };
  const Case cases[] = {
      {0, {10, 20}, {10, 220}},
      {90, {110, 20}, {10, 20}},
      {180, {110, 220}, {110, 20}},
      {270, {10, 220}, {110, 220}},
  };
  for (const Case& c : cases) {
    PageGeometry page{10, 20, 110, 220, c.rotate};
    double displayedHeight = c.rotate % 180 == 0 ? 200 : 100;
    std::array<double, 6> m = DisplayToPage(page);
    EXPECT_EQ(Apply(m, 0, 0), c.displayedOrigin) << c.rotate;
    EXPECT_EQ(Apply(m, 0, displayedHeight), c.displayedTopLeft) << c.rotate;
  }
}

TEST(ToWinAnsi, KeepsLatinTextAndReplacesTheRest) {
  EXPECT_EQ(ToWinAnsi("Plain (text)"), "Plain (text)");
  EXPECT_EQ(ToWinAnsi("caf\xC3\xA9"), "caf\xE9");
  EXPECT_EQ(ToWinAnsi("\xE2\x80\x9Cq\xE2\x80\x9D \xE2\x80\x94 \xE2\x82\xAC"),
            "\x93q\x94 \x97 \x80");
  EXPECT_EQ(ToWinAnsi("\xEF\xAC\x81nd"), "find");
  EXPECT_EQ(ToWinAnsi("\xD0\x96\xF0\x9F\x98\x80"), "??");
  EXPECT_EQ(ToWinAnsi("a\xFF\xC3"), "a??");
  EXPECT_EQ(ToWinAnsi("tab\there"), "tab?here");
}

TEST(TextLayerContent, SetsEachWordInvisiblyStretchedToItsBox) {
  // At 144 dpi a pixel is half a point. "ii" is 444 units wide in Helvetica; the box is
  // 40 x 20 pixels: 20 points wide, 10 high, so the font is 10 points and the width
  // 4.44 points is stretched by 20 / 4.44.
  std::vector<OcrWord> words = {{"ii", 100, 50, 140, 70}, {"(a)\\", 0, 0, 10, 10}};
  std::string content = TextLayerContent(words, 144, {0, 0, 612, 792, 0}, "/OcrText");
  EXPECT_THAT(content, HasSubstr("1 0 0 1 0 0 cm\nBT\n3 Tr\n"));
  EXPECT_THAT(content, HasSubstr("/OcrText 10 Tf 450.45 Tz 1 0 0 1 50 757 Tm (ii) Tj\n"));
  EXPECT_THAT(content, HasSubstr("(\\(a\\)\\\\) Tj"));
  EXPECT_THAT(content, HasSubstr("ET\nQ\n"));
  EXPECT_EQ(TextLayerContent({{"", 0, 0, 10, 10}, {"x", 5, 5, 5, 9}}, 72, {0, 0, 10, 10, 0}, "/F"),
            "");
}

}  // namespace

}  // namespace pdf::text
