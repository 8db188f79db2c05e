// Where an image goes on a page of its own: at its resolution ("fit": the page is the
// image), or fitted into a paper size and centred, keeping its aspect. Pure functions.
#pragma once

#include <optional>
#include <string>

namespace pdf::image {

// The largest page side a PDF reader is required to handle (200 inches, in points); a page
// that would be larger at the image's resolution is scaled down to it.
constexpr double kMaxPageSide = 14400;

struct ImagePlacement {
  double pageWidth = 0;  // points
  double pageHeight = 0;
  double x = 0;  // the image's lower left corner and size on the page, in points
  double y = 0;
  double width = 0;
  double height = 0;
};

// The paper size `name` ("A4", "Letter", "A3", "A5", "Legal") in portrait, in points;
// nullopt for any other name.
std::optional<std::pair<double, double>> PaperSize(const std::string& name);

// The page for an image of `pixelsWide` x `pixelsHigh` pixels recorded at `xDpi` x `yDpi`
// (0: none recorded, 72 is used). Without `paper` the page is the image at its resolution;
// with it, the page is that paper turned to the image's orientation and the image is scaled
// to fit, centred.
ImagePlacement PlaceImage(int pixelsWide, int pixelsHigh, double xDpi, double yDpi,
                          const std::optional<std::pair<double, double>>& paper);

}  // namespace pdf::image
