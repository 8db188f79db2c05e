// PdfRender: pages drawn as PNG images at a given resolution.
#include <poppler-image.h>
#include <poppler-page-renderer.h>
#include <poppler-page.h>

#include <cmath>

#include "processors/pdf/numbered_path.h"
#include "processors/pdf/operations.h"
#include "processors/pdf/page_ranges.h"
#include "processors/pdf/pdf_error.h"
#include "processors/pdf/poppler_document.h"

namespace {

constexpr long long kMaxDpi = 600;
constexpr double kMaxPixelsPerPage = 100'000'000;

struct Rendering {
  int page;
  std::string name;
  int width = 0;
  int height = 0;
};

}  // namespace

KQ_TDict PdfRender(const JobParameters& parameters, OperationContext& context) {
  std::string pattern = parameters.String("output");
  CheckNumberedPattern(pattern, parameters.Name("output"));
  long long dpi = parameters.Integer("dpi", 72, 1, kMaxDpi);
  std::optional<std::string> password = parameters.OptionalString("password");
  PdfFile input = OpenFileParameter(parameters, context);
  std::vector<int> pages = WithoutRepeats(SelectedPages(parameters, input.PageCount()));
  std::unique_ptr<poppler::document> document = OpenWithPoppler(input, password);

  // Every page's size is checked before the first is drawn.
  std::vector<std::unique_ptr<poppler::page>> popplerPages;
  for (int number : pages) {
    std::unique_ptr<poppler::page> page(document->create_page(number - 1));
    if (!page)
      throw PdfError("file \"" + input.label + "\": page " + std::to_string(number) +
                     " cannot be read by the renderer");
    poppler::rectf box = page->page_rect(poppler::crop_box);
    double width = std::round(box.width() * static_cast<double>(dpi) / 72.0);
    double height = std::round(box.height() * static_cast<double>(dpi) / 72.0);
    if (width * height > kMaxPixelsPerPage)
      throw PdfError(
          "file \"" + input.label + "\": page " + std::to_string(number) + " at " +
          std::to_string(dpi) + " dpi would be " + std::to_string(static_cast<long long>(width)) +
          " x " + std::to_string(static_cast<long long>(height)) +
          " pixels; at most 100 megapixels per page (lower \"" + parameters.Name("dpi") + "\")");
    popplerPages.push_back(std::move(page));
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
    if (!image.save(files[i]->WritablePath(), "png"))
      throw PdfError("output \"" + rendering.name + "\" cannot be written");
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
