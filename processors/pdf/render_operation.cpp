// PdfRender: pages drawn as PNG images at a given resolution.
#include <poppler-image.h>
#include <poppler-page-renderer.h>
#include <poppler-page.h>

#include <algorithm>
#include <cmath>

#include "processors/pdf/damage_watch.h"
#include "processors/pdf/numbered_path.h"
#include "processors/pdf/operations.h"
#include "processors/pdf/page_precheck.h"
#include "processors/pdf/page_ranges.h"
#include "processors/pdf/pdf_error.h"
#include "processors/pdf/png_file.h"
#include "processors/pdf/poppler_document.h"

namespace {

constexpr long long kMaxDpi = 600;

// What drawing a page costs in memory: the bitmap (3 bytes a pixel) about this many times
// over (poppler's bitmap, its copy, rows being encoded), plus the program itself (measured:
// 702 MB peak for 100 megapixels).
constexpr double kRenderCopies = 2.2;
constexpr double kRenderOverheadMb = 160;

struct Rendering {
  int page;
  std::string name;
  int width = 0;
  int height = 0;
};

// Whether `image` has the pixels of a page of `size` (either way round, as the page's
// rotation turns it; poppler may round a side either way).
bool DrawnAtSize(const poppler::image& image, std::pair<long long, long long> size) {
  auto near = [](long long a, long long b) { return a - b <= 1 && b - a <= 1; };
  long long width = image.width();
  long long height = image.height();
  bool sizeMatches = (near(width, size.first) && near(height, size.second)) ||
                     (near(width, size.second) && near(height, size.first));
  return sizeMatches && image.const_data() != nullptr &&
         static_cast<long long>(image.bytes_per_row()) >= 3 * width;
}

}  // namespace

KQ_TDict PdfRender(const JobParameters& parameters, OperationContext& context) {
  std::string pattern = parameters.String("output");
  CheckNumberedPattern(pattern, parameters.Name("output"));
  long long dpi = parameters.Integer("dpi", 72, 1, kMaxDpi);
  std::optional<std::string> password = parameters.OptionalString("password");
  PdfFile input = OpenFileParameter(parameters, context);
  std::vector<int> pages =
      WithoutRepeats(SelectedPages(parameters, input.PageCount(), context.budget.MaxPages()));
  // What poppler would decode and draw is bounded before it opens the file.
  CheckPagesBeforePoppler(input.pages, pages, {context.limits.maxStreamBytes, true, true},
                          input.label);
  context.limits.damage.Check();
  std::unique_ptr<poppler::document> document = OpenWithPoppler(input, password);

  // Every page's size is checked before the first is drawn.
  std::vector<std::unique_ptr<poppler::page>> popplerPages;
  std::vector<std::pair<long long, long long>> expectedSizes;
  for (int number : pages) {
    std::unique_ptr<poppler::page> page(document->create_page(number - 1));
    if (!page)
      throw PdfError("file \"" + input.label + "\": page " + std::to_string(number) +
                     " cannot be read by the renderer");
    poppler::rectf box = page->page_rect(poppler::crop_box);
    double width = std::round(box.width() * static_cast<double>(dpi) / 72.0);
    double height = std::round(box.height() * static_cast<double>(dpi) / 72.0);
    if (!std::isfinite(width) || !std::isfinite(height) || width < 0 || height < 0)
      throw PdfError("file \"" + input.label + "\": page " + std::to_string(number) +
                     " has no usable size (its MediaBox or CropBox is infinite or not a number)");
    if (width * height > kMaxPixelsPerPage || width > kMaxPixelsPerPage ||
        height > kMaxPixelsPerPage)
      throw PdfError("file \"" + input.label + "\": page " + std::to_string(number) + " at " +
                     std::to_string(dpi) + " dpi would be " +
                     std::to_string(static_cast<long long>(std::min(width, 1e15))) + " x " +
                     std::to_string(static_cast<long long>(std::min(height, 1e15))) +
                     " pixels; at most 100 megapixels per page (lower \"" + parameters.Name("dpi") +
                     "\")");
    // Poppler holds the page's bitmap and a copy of it, and cannot report running out of
    // address space for the copy (its image then points at freed memory), so a page that
    // would not fit is refused before it is drawn.
    double neededMb = kRenderCopies * width * height * 3 / (1 << 20) + kRenderOverheadMb;
    if (neededMb > static_cast<double>(context.limits.maxMemoryMb))
      throw PdfError(OutOfMemoryMessage("file \"" + input.label + "\"") + " (page " +
                     std::to_string(number) + " at " + std::to_string(dpi) + " dpi needs about " +
                     std::to_string(static_cast<long long>(neededMb)) + " MB to draw)");
    popplerPages.push_back(std::move(page));
    expectedSizes.emplace_back(static_cast<long long>(width), static_cast<long long>(height));
  }

  poppler::page_renderer renderer;
  renderer.set_render_hint(poppler::page_renderer::antialiasing, true);
  renderer.set_render_hint(poppler::page_renderer::text_antialiasing, true);
  renderer.set_image_format(poppler::image::format_rgb24);
  std::vector<std::string> names;
  for (int page : pages)
    names.push_back(NumberedPath(pattern, page));
  std::vector<std::unique_ptr<OutputFile>> files =
      PrepareOutputs(context, names, parameters.Name("output"));
  std::vector<Rendering> renderings;
  for (std::size_t i = 0; i < pages.size(); ++i) {
    Rendering rendering{pages[i], names[i]};
    poppler::image image = renderer.render_page(popplerPages[i].get(), static_cast<double>(dpi),
                                                static_cast<double>(dpi));
    if (!image.is_valid())
      throw PdfError("file \"" + input.label + "\": page " + std::to_string(pages[i]) +
                     " cannot be rendered");
    // Poppler answers an allocation it could not make with a smaller or empty image.
    if (!DrawnAtSize(image, expectedSizes[i]))
      throw PdfError(OutOfMemoryMessage("file \"" + input.label + "\"") + " (page " +
                     std::to_string(pages[i]) + " could not be drawn at " +
                     std::to_string(expectedSizes[i].first) + " x " +
                     std::to_string(expectedSizes[i].second) + " pixels)");
    context.limits.workingOn = "output \"" + rendering.name + "\"";
    BudgetedFile file(os::OpenStream(files[i]->File(), "wb"), rendering.name,
                      context.limits.output);
    WritePng(image, file, rendering.name);
    context.limits.workingOn = "file \"" + input.label + "\"";
    rendering.width = image.width();
    rendering.height = image.height();
    renderings.push_back(std::move(rendering));
  }
  for (auto& file : files)
    file->Commit();

  KQ_TArray outputs;
  for (const Rendering& rendering : renderings) {
    KQ_TDict entry;
    entry["page"] = std::to_string(rendering.page);
    entry["file"] = rendering.name;
    entry["width"] = std::to_string(rendering.width);
    entry["height"] = std::to_string(rendering.height);
    outputs.Append(entry);
  }
  KQ_TDict answer;
  answer["output"] = outputs;
  return answer;
}
