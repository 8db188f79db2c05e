#include "processors/pdf/image/image_placement.h"

#include <gtest/gtest.h>

namespace pdf::image {

namespace {

TEST(PlaceImage, FitMakesThePageTheImageAtItsResolution) {
  struct Case {
    int width, height;
    double xDpi, yDpi;
    double pageWidth, pageHeight;
  };
  const Case cases[] = {
      {2550, 3300, 300, 300, 612, 792}, {100, 50, 0, 0, 100, 50},  // none recorded: 72 dpi
      {144, 144, 144, 72, 72, 144},                                // unequal resolutions
      {720, 720, 1e9, 1e9, 720, 720},   // an absurd resolution counts as none
      {40000, 100, 72, 72, 14400, 36},  // scaled down to the largest page side
  };
  for (const Case& c : cases) {
    ImagePlacement place = PlaceImage(c.width, c.height, c.xDpi, c.yDpi, std::nullopt);
    EXPECT_DOUBLE_EQ(place.pageWidth, c.pageWidth) << c.width;
    EXPECT_DOUBLE_EQ(place.pageHeight, c.pageHeight) << c.width;
    EXPECT_DOUBLE_EQ(place.width, c.pageWidth);
    EXPECT_DOUBLE_EQ(place.height, c.pageHeight);
    EXPECT_EQ(place.x, 0);
    EXPECT_EQ(place.y, 0);
  }
}

TEST(PlaceImage, PaperFitsTheImageCentredTurnedToItsOrientation) {
  // A square image on A4: as wide as the paper, centred vertically.
  ImagePlacement square = PlaceImage(1000, 1000, 300, 300, PaperSize("A4"));
  EXPECT_DOUBLE_EQ(square.pageWidth, 595);
  EXPECT_DOUBLE_EQ(square.pageHeight, 842);
  EXPECT_DOUBLE_EQ(square.width, 595);
  EXPECT_DOUBLE_EQ(square.height, 595);
  EXPECT_DOUBLE_EQ(square.x, 0);
  EXPECT_DOUBLE_EQ(square.y, (842 - 595) / 2.0);
  // A small wide image on Letter: the page turns, the image grows to the page's height.
  ImagePlacement wide = PlaceImage(300, 100, 72, 72, PaperSize("Letter"));
  EXPECT_DOUBLE_EQ(wide.pageWidth, 792);
  EXPECT_DOUBLE_EQ(wide.pageHeight, 612);
  EXPECT_DOUBLE_EQ(wide.width, 792);
  EXPECT_DOUBLE_EQ(wide.height, 264);
  EXPECT_DOUBLE_EQ(wide.y, (612 - 264) / 2.0);
}

TEST(PaperSize, KnowsTheNamedSizesOnly) {
  EXPECT_EQ(PaperSize("Legal"), std::make_pair(612.0, 1008.0));
  EXPECT_EQ(PaperSize("A3"), std::make_pair(842.0, 1191.0));
  EXPECT_EQ(PaperSize("A5"), std::make_pair(420.0, 595.0));
  EXPECT_FALSE(PaperSize("a4"));
  EXPECT_FALSE(PaperSize("fit"));
}

}  // namespace

}  // namespace pdf::image
