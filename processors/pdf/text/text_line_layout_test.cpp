#include "processors/pdf/text/text_line_layout.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "processors/pdf/text/helvetica.h"
#include "processors/pdf/text/page_number_pattern.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::text {

namespace {

using ::testing::HasSubstr;

// Where the line's point (x, y) lands on the page.
std::pair<double, double> Apply(const Matrix& m, double x, double y) {
  return {m.a * x + m.c * y + m.e, m.b * x + m.d * y + m.f};
}

TEST(TextLayout, WinAnsiTakesLatinOneAndTypographicSigns) {
  EXPECT_EQ(WinAnsiText("Caf\xc3\xa9 \xe2\x82\xac\xe2\x80\x9cx\xe2\x80\x9d", "text"),
            "Caf\xe9 \x80\x93x\x94");
  struct Case {
    const char* text;
    const char* error;
  };
  const Case refused[] = {
      {"\xe6\x97\xa5\xe6\x9c\xac", "holds \"\xe6\x97\xa5\", which the standard font cannot show"},
      {"a\tb", "control character"},
      {"bad \xff", "not valid UTF-8"},
  };
  for (const Case& c : refused) {
    try {
      WinAnsiText(c.text, "text");
      ADD_FAILURE() << "accepted " << c.text;
    } catch (const PdfError& e) {
      EXPECT_THAT(e.what(), HasSubstr(c.error));
      EXPECT_THAT(e.what(), HasSubstr("parameter \"text\""));
    }
  }
}

TEST(TextLayout, HelveticaWidthsAreTheFontsMetrics) {
  // "Hello": H 722, e 556, l 222, l 222, o 556.
  EXPECT_DOUBLE_EQ(HelveticaWidth("Hello", 10), 22.78);
  EXPECT_DOUBLE_EQ(HelveticaWidth("\x80", 1000), 556);  // the euro sign
}

TEST(TextLayout, ColoursAndPositionsAreParsedOrRefused) {
  Rgb red = ParseColor("#FF8000", "color");
  EXPECT_DOUBLE_EQ(red.red, 1);
  EXPECT_NEAR(red.green, 0.502, 0.001);
  EXPECT_DOUBLE_EQ(red.blue, 0);
  for (const char* bad : {"red", "#12345", "#1234567", "#gg0000", ""})
    EXPECT_THROW(ParseColor(bad, "color"), PdfError) << bad;
  EXPECT_EQ(ParseTextPosition("bottom-right", "position"), TextPosition::kBottomRight);
  EXPECT_THROW(ParseTextPosition("middle", "position"), PdfError);
}

TEST(TextLayout, TextIsPlacedUprightAsThePageIsShown) {
  // A 100-point line of size 10 on a Letter page, bottom right, 36 points from the edges.
  TextPlacement line{100, 10, 0, TextPosition::kBottomRight, 36};
  struct Case {
    int rotate;
    // Where the line's start and end (on its baseline) land in user space.
    std::pair<double, double> start, end;
  };
  // Cap height 7.18, descender 2.07: the box's bottom is the baseline less 2.07.
  const Case cases[] = {
      {0, {476, 38.07}, {576, 38.07}},
      // Shown turned clockwise, 792 wide and 612 high: the line runs up the page's right
      // edge in user space and ends 36 points below its top.
      {90, {612 - 38.07, 656}, {612 - 38.07, 756}},
      {180, {612 - 476, 792 - 38.07}, {612 - 576, 792 - 38.07}},
      {270, {38.07, 792 - 656}, {38.07, 792 - 756}},
  };
  for (const Case& c : cases) {
    Matrix m = PlaceText(line, 0, 0, 612, 792, c.rotate);
    auto start = Apply(m, 0, 0);
    auto end = Apply(m, 100, 0);
    EXPECT_NEAR(start.first, c.start.first, 0.01) << c.rotate;
    EXPECT_NEAR(start.second, c.start.second, 0.01) << c.rotate;
    EXPECT_NEAR(end.first, c.end.first, 0.01) << c.rotate;
    EXPECT_NEAR(end.second, c.end.second, 0.01) << c.rotate;
  }

  // Centred and turned 90 degrees anticlockwise on an offset crop box: the line's middle is
  // the box's centre.
  TextPlacement centred{100, 10, 90, TextPosition::kCenter, 36};
  Matrix m = PlaceText(centred, 100, 100, 300, 500, 0);
  auto middle = Apply(m, 50, (7.18 - 2.07) / 2);
  EXPECT_NEAR(middle.first, 200, 0.01);
  EXPECT_NEAR(middle.second, 300, 0.01);
  EXPECT_NEAR(Apply(m, 100, 0).second - Apply(m, 0, 0).second, 100, 0.01);
}

TEST(PageNumberPattern, ReplacesItsPlaceholdersAndRefusesOthers) {
  CheckPageNumberPattern("Page {n} of {total}", "pattern");
  EXPECT_EQ(PageNumberText("Page {n} of {total}", 3, 12), "Page 3 of 12");
  EXPECT_EQ(PageNumberText("{n}{n}", 7, 9), "77");
  for (const char* bad : {"", "{page}", "{n", "n}", "{{n}}", "{N}"})
    EXPECT_THROW(CheckPageNumberPattern(bad, "pattern"), PdfError) << bad;
  EXPECT_THROW(CheckPageNumberPattern(std::string(201, 'x'), "pattern"), PdfError);
}

}  // namespace

}  // namespace pdf::text
