#include "processors/pdf/image/image_placement.h"

#include <algorithm>
#include <cmath>

namespace pdf::image {

std::optional<std::pair<double, double>> PaperSize(const std::string& name) {
  if (name == "A4")
    return std::make_pair(595.0, 842.0);
  if (name == "Letter")
    return std::make_pair(612.0, 792.0);
  if (name == "A3")
    return std::make_pair(842.0, 1191.0);
  if (name == "A5")
    return std::make_pair(420.0, 595.0);
  if (name == "Legal")
    return std::make_pair(612.0, 1008.0);
  return std::nullopt;
}

ImagePlacement PlaceImage(int pixelsWide, int pixelsHigh, double xDpi, double yDpi,
                          const std::optional<std::pair<double, double>>& paper) {
  // A resolution outside what scanners and cameras record (a damaged header) counts as none.
  auto usable = [](double dpi) { return std::isfinite(dpi) && dpi >= 1 && dpi <= 100000; };
  if (!usable(xDpi) || !usable(yDpi))
    xDpi = yDpi = 72;
  double width = pixelsWide * 72.0 / xDpi;
  double height = pixelsHigh * 72.0 / yDpi;
  ImagePlacement placement;
  if (!paper) {
    double scale = std::min({1.0, kMaxPageSide / width, kMaxPageSide / height});
    placement.pageWidth = placement.width = width * scale;
    placement.pageHeight = placement.height = height * scale;
    return placement;
  }
  auto [paperWidth, paperHeight] = *paper;
  if (width > height)
    std::swap(paperWidth, paperHeight);
  double scale = std::min(paperWidth / width, paperHeight / height);
  placement.pageWidth = paperWidth;
  placement.pageHeight = paperHeight;
  placement.width = width * scale;
  placement.height = height * scale;
  placement.x = (paperWidth - placement.width) / 2;
  placement.y = (paperHeight - placement.height) / 2;
  return placement;
}

}  // namespace pdf::image
