#include "processors/pdf/image/tone_reduction.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace pdf::image {

namespace {

// A raster of `components` whose pixel at (x, y) is `pixel(x, y)` (for RGB, one value is
// used for red and green and blue offset by the second).
Raster Make(int width, int height, const std::function<unsigned char(int, int)>& pixel) {
  Raster raster{width, height, 1, {}};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      raster.samples.push_back(pixel(x, y));
  return raster;
}

Raster Rgb(int width, int height, const std::function<std::array<int, 3>(int, int)>& pixel) {
  Raster raster{width, height, 3, {}};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int v : pixel(x, y))
        raster.samples.push_back(static_cast<unsigned char>(v));
  return raster;
}

// Black strokes 3 pixels wide every 12 pixels on white, with a one-pixel anti-aliased edge
// on each side, as drawn text has.
unsigned char Strokes(int x, int) {
  int at = x % 12;
  return at < 3 ? 0 : at == 3 || at == 11 ? 128 : 255;
}

TEST(IsNearlyGrey, AcceptsNeutralPixelsOnly) {
  struct Case {
    const char* name;
    Raster rgb;
    bool grey;
  };
  const Case cases[] = {
      {"neutral",
       Rgb(100, 100,
           [](int x, int) {
             return std::array{x, x, x};
           }),
       true},
      {"within the spread",
       Rgb(100, 100,
           [](int x, int y) {
             return std::array{x, x + (y % 9), x + 8};
           }),
       true},
      // One red mark of a single pixel is colour a reader sees.
      {"one red pixel",
       Rgb(100, 100,
           [](int x, int y) {
             return x == 50 && y == 50 ? std::array{200, 40, 40} : std::array{9, 9, 9};
           }),
       false},
      // Chroma noise of a scanner on a few pixels is tolerated, up to the fraction.
      {"few slight outliers",
       Rgb(100, 100,
           [](int x, int y) {
             return x == 0 && y < 10 ? std::array{100, 120, 100} : std::array{9, 9, 9};
           }),
       true},
      {"many slight outliers",
       Rgb(100, 100,
           [](int x, int y) {
             return x == 0 && y < 11 ? std::array{100, 120, 100} : std::array{9, 9, 9};
           }),
       false},
      {"colour photo",
       Rgb(64, 64,
           [](int x, int y) {
             return std::array{4 * x, 4 * y, 128};
           }),
       false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(IsNearlyGrey(c.rgb), c.grey) << c.name;
  EXPECT_FALSE(IsNearlyGrey(Make(10, 10, [](int, int) { return 0; })));  // not RGB
}

TEST(ClassifyGreyTones, TellsStrokesOnPaperFromTones) {
  using enum GreyTones;
  struct Case {
    const char* name;
    Raster grey;
    GreyTones tones;
  };
  const Case cases[] = {
      {"blank page", Make(200, 200, [](int, int) { return 250; }), kBilevel},
      {"strokes", Make(240, 200, Strokes), kBilevel},
      // Paper a scanner made slightly grey and ink not quite black are still black and white.
      {"scanner levels",
       Make(240, 200,
            [](int x, int y) {
              return Strokes(x, y) == 0 ? 35 : Strokes(x, y) == 255 ? 220 : 128;
            }),
       kBilevel},
      {"gradient", Make(256, 100, [](int x, int) { return x; }), kContinuous},
      // A 20 % tint box of 30 x 30 pixels beside strokes: its inside is a tone of its own.
      {"tint box",
       Make(400, 400,
            [](int x, int y) { return x >= 300 && x < 330 && y < 30 ? 204 : Strokes(x, y); }),
       kContinuous},
      // Grey type (mid-grey strokes 3 pixels wide on white, with no black near) is faint
      // everywhere: strokes, but not black and white.
      {"grey strokes", Make(240, 200, [](int x, int) { return (x + 6) % 12 < 3 ? 128 : 255; }),
       kStrokes},
      {"photo", Make(128, 128, [](int x, int y) { return 64 + (x * y) % 128; }), kContinuous},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ClassifyGreyTones(c.grey), c.tones) << c.name;
  EXPECT_EQ(ClassifyGreyTones(Raster{2, 1, 3, {0, 0, 0, 255, 255, 255}}), kContinuous);
}

TEST(PackBilevel, PacksRowsOfBitsPaddedToBytes) {
  // 10 pixels a row: two bytes, the last six bits padding (0).
  Raster grey =
      Make(10, 2, [](int x, int y) { return y == 0 ? (x % 2 ? 255 : 0) : (x < 9 ? 128 : 127); });
  EXPECT_EQ(PackBilevel(grey), (std::vector<unsigned char>{0x55, 0x40, 0xFF, 0x80}));
}

TEST(PackSixteenGreys, PacksTheNearestLevelTwoPixelsAByte) {
  // 3 pixels a row: two bytes, the last half padding.
  Raster grey{3, 2, 1, {0, 255, 128, 8, 9, 230}};
  EXPECT_EQ(PackSixteenGreys(grey), (std::vector<unsigned char>{0x0F, 0x80, 0x01, 0xE0}));
}

}  // namespace

}  // namespace pdf::image
