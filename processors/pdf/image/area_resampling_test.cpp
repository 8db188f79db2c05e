#include "processors/pdf/image/area_resampling.h"

#include <gtest/gtest.h>

namespace pdf::image {

namespace {

Raster Grey(int width, int height, std::vector<unsigned char> samples) {
  return Raster{width, height, 1, std::move(samples)};
}

TEST(Downsample, AveragesTheAreaEachNewPixelCovers) {
  struct Case {
    const char* name;
    Raster source;
    int width, height;
    std::vector<unsigned char> expected;
  };
  const Case cases[] = {
      {"halved", Grey(4, 2, {0, 255, 100, 100, 0, 255, 200, 200}), 2, 1, {128, 150}},
      // 3 to 2: the middle pixel is split between both new ones.
      {"two thirds", Grey(3, 1, {0, 90, 180}), 2, 1, {30, 150}},
      // A one-pixel black line on white fades to grey rather than vanishing.
      {"thin line",
       Grey(4, 4, {255, 0, 255, 255, 255, 0, 255, 255, 255, 0, 255, 255, 255, 0, 255, 255}),
       2,
       2,
       {128, 255, 128, 255}},
      {"rgb channels apart", Raster{2, 1, 3, {255, 0, 10, 255, 0, 30}}, 1, 1, {255, 0, 20}},
      {"never larger", Grey(2, 1, {7, 9}), 4, 3, {7, 9}},
      {"at least one pixel", Grey(2, 1, {7, 9}), 0, 0, {8}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Raster result = Downsample(c.source, c.width, c.height);
    EXPECT_EQ(result.components, c.source.components);
    EXPECT_EQ(result.samples, c.expected);
    EXPECT_EQ(result.samples.size(), result.Pixels() * result.components);
  }
}

TEST(Downsample, KeepsTheMeanAtAnyFactor) {
  Raster source{301, 199, 1, {}};
  std::uint32_t seed = 7;
  double sum = 0;
  for (std::size_t i = 0; i < source.Pixels(); ++i) {
    seed = seed * 1664525 + 1013904223;
    source.samples.push_back(static_cast<unsigned char>(seed >> 24));
    sum += source.samples.back();
  }
  for (auto [w, h] : {std::pair{150, 99}, {97, 64}, {1, 1}, {300, 10}}) {
    Raster result = Downsample(source, w, h);
    ASSERT_EQ(result.width, w);
    ASSERT_EQ(result.height, h);
    double resultSum = 0;
    for (unsigned char v : result.samples)
      resultSum += v;
    EXPECT_NEAR(resultSum / result.Pixels(), sum / source.Pixels(), 0.5) << w << "x" << h;
  }
}

}  // namespace

}  // namespace pdf::image
