#include "processors/pdf/drawing/page_drawing.h"

#include <algorithm>
#include <cmath>

#include "processors/pdf/document/damage_watch.h"
#include "processors/pdf/document/page_precheck.h"
#include "processors/pdf/run/limit_settings.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::drawing {

namespace {

// What drawing a page costs in memory: the bitmap (3 bytes a pixel) about this many times
// over (poppler's bitmap, its copy, rows being encoded), plus the program itself (measured:
// 702 MB peak for 100 megapixels).
constexpr double kRenderCopies = 2.2;
constexpr double kRenderOverheadMb = 160;

// Whether `image` has the pixels of a page of `width` x `height` (either way round, as the
// page's rotation turns it; poppler may round a side either way).
bool DrawnAtSize(const poppler::image& image, long long width, long long height) {
  auto near = [](long long a, long long b) { return a - b <= 1 && b - a <= 1; };
  long long drawnWidth = image.width();
  long long drawnHeight = image.height();
  bool sizeMatches = (near(drawnWidth, width) && near(drawnHeight, height)) ||
                     (near(drawnWidth, height) && near(drawnHeight, width));
  return sizeMatches && image.const_data() != nullptr &&
         static_cast<long long>(image.bytes_per_row()) >= 3 * drawnWidth;
}

}  // namespace

PageDrawing PreparePageDrawing(poppler::document& document, int number, long long dpi,
                               const std::string& label, const std::string& dpiParameter,
                               long long maxMemoryMb, double extraBytesPerPixel, double extraMb) {
  std::string page = "file \"" + label + "\": page " + std::to_string(number);
  PageDrawing drawing;
  drawing.number = number;
  drawing.page.reset(document.create_page(number - 1));
  if (!drawing.page)
    throw PdfError(page + " cannot be read by the renderer");
  poppler::rectf box = drawing.page->page_rect(poppler::crop_box);
  double width = std::round(box.width() * static_cast<double>(dpi) / 72.0);
  double height = std::round(box.height() * static_cast<double>(dpi) / 72.0);
  if (!std::isfinite(width) || !std::isfinite(height) || width < 0 || height < 0)
    throw PdfError(page +
                   " has no usable size (its MediaBox or CropBox is infinite or not a number)");
  if (width * height > document::kMaxPixelsPerPage || width > document::kMaxPixelsPerPage ||
      height > document::kMaxPixelsPerPage)
    throw PdfError(page + " at " + std::to_string(dpi) + " dpi would be " +
                   std::to_string(static_cast<long long>(std::min(width, 1e15))) + " x " +
                   std::to_string(static_cast<long long>(std::min(height, 1e15))) +
                   " pixels; at most 100 megapixels per page (lower \"" + dpiParameter + "\")");
  // Poppler holds the page's bitmap and a copy of it, and cannot report running out of
  // address space for the copy (its image then points at freed memory), so a page that
  // would not fit is refused before it is drawn.
  double neededMb = (kRenderCopies * 3 + extraBytesPerPixel) * width * height / (1 << 20) +
                    kRenderOverheadMb + extraMb;
  if (neededMb > static_cast<double>(maxMemoryMb))
    throw PdfError(run::OutOfMemoryMessage("file \"" + label + "\"") + " (page " +
                   std::to_string(number) + " at " + std::to_string(dpi) + " dpi needs about " +
                   std::to_string(static_cast<long long>(neededMb)) + " MB to draw)");
  drawing.width = static_cast<long long>(width);
  drawing.height = static_cast<long long>(height);
  return drawing;
}

void SetUpRenderer(poppler::page_renderer& renderer) {
  renderer.set_render_hint(poppler::page_renderer::antialiasing, true);
  renderer.set_render_hint(poppler::page_renderer::text_antialiasing, true);
  renderer.set_image_format(poppler::image::format_rgb24);
}

poppler::image DrawPage(const PageDrawing& drawing, long long dpi,
                        const poppler::page_renderer& renderer, const std::string& label) {
  poppler::image image =
      renderer.render_page(drawing.page.get(), static_cast<double>(dpi), static_cast<double>(dpi));
  if (!image.is_valid())
    throw PdfError("file \"" + label + "\": page " + std::to_string(drawing.number) +
                   " cannot be rendered");
  // Poppler answers an allocation it could not make with a smaller or empty image.
  if (!DrawnAtSize(image, drawing.width, drawing.height))
    throw PdfError(run::OutOfMemoryMessage("file \"" + label + "\"") + " (page " +
                   std::to_string(drawing.number) + " could not be drawn at " +
                   std::to_string(drawing.width) + " x " + std::to_string(drawing.height) +
                   " pixels)");
  return image;
}

}  // namespace pdf::drawing
