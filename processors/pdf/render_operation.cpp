// PdfRender: pages drawn as PNG images at a given resolution.
#include "processors/pdf/numbered_path.h"
#include "processors/pdf/operations.h"
#include "processors/pdf/page_drawing.h"
#include "processors/pdf/page_precheck.h"
#include "processors/pdf/page_ranges.h"
#include "processors/pdf/pdf_error.h"
#include "processors/pdf/png_file.h"
#include "processors/pdf/poppler_document.h"

namespace {

constexpr long long kMaxDpi = 600;

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
  std::vector<int> pages = DistinctPages(parameters, input, context);
  // What poppler would decode and draw is bounded before it opens the file.
  CheckPagesBeforePoppler(input.pages, pages, {context.limits.maxStreamBytes, true, true},
                          input.label);
  context.limits.damage.Check();
  std::unique_ptr<poppler::document> document = OpenWithPoppler(input, password);

  // Every page's size is checked before the first is drawn.
  std::vector<PageDrawing> drawings;
  for (int number : pages)
    drawings.push_back(PreparePageDrawing(*document, number, dpi, input.label,
                                          parameters.Name("dpi"), context.limits.maxMemoryMb));

  poppler::page_renderer renderer;
  SetUpRenderer(renderer);
  std::vector<std::string> names;
  for (int page : pages)
    names.push_back(NumberedPath(pattern, page));
  std::vector<std::unique_ptr<OutputFile>> files =
      PrepareOutputs(context, names, parameters.Name("output"));
  std::vector<Rendering> renderings;
  for (std::size_t i = 0; i < pages.size(); ++i) {
    Rendering rendering{pages[i], names[i]};
    poppler::image image = DrawPage(drawings[i], dpi, renderer, input.label);
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
