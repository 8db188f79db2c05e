// PdfRender: pages drawn as PNG images at a given resolution.
#include "processors/pdf/document/operation_context.h"
#include "processors/pdf/drawing/page_drawing.h"
#include "processors/pdf/drawing/png_writer.h"
#include "processors/pdf/drawing/poppler_document.h"
#include "processors/pdf/run/job_parameters.h"
#include "processors/pdf/text/numbered_path.h"
#include "processors/pdf/text/page_ranges.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::ops {

namespace {

constexpr long long kMaxDpi = 600;

struct Rendering {
  int page;
  std::string name;
  int width = 0;
  int height = 0;
};

}  // namespace

KQ_TDict PdfRender(const run::JobParameters& parameters, document::OperationContext& context) {
  std::string pattern = parameters.String("output");
  text::CheckNumberedPattern(pattern, parameters.Name("output"));
  long long dpi = parameters.Integer("dpi", 72, 1, kMaxDpi);
  std::optional<std::string> password = parameters.OptionalString("password");
  document::PdfFile input = document::OpenFileParameter(parameters, context);
  std::vector<int> pages = document::DistinctPages(parameters, input, context);
  // What poppler would decode and draw is bounded before it opens the file.
  std::unique_ptr<poppler::document> document =
      drawing::OpenPagesWithPoppler(input, pages, drawing::PopplerUse::kDrawing, context, password);

  // Every page's size is checked before the first is drawn.
  std::vector<drawing::PageDrawing> drawings;
  for (int number : pages)
    drawings.push_back(drawing::PreparePageDrawing(
        *document, number, dpi, input.label, parameters.Name("dpi"), context.limits.maxMemoryMb));

  poppler::page_renderer renderer;
  drawing::SetUpRenderer(renderer);
  std::vector<std::string> names;
  for (int page : pages)
    names.push_back(text::NumberedPath(pattern, page));
  std::vector<std::unique_ptr<run::OutputFile>> files =
      document::PrepareOutputs(context, names, parameters.Name("output"));
  std::vector<Rendering> renderings;
  for (std::size_t i = 0; i < pages.size(); ++i) {
    Rendering rendering{pages[i], names[i]};
    poppler::image image = drawing::DrawPage(drawings[i], dpi, renderer, input.label);
    context.limits.workingOn = "output \"" + rendering.name + "\"";
    run::BudgetedFile file(os::OpenStream(files[i]->File(), "wb"), rendering.name,
                           context.limits.output);
    drawing::WritePng(image, file, rendering.name);
    // A run may draw thousands of pages; none is held open once written.
    files[i]->Close();
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

}  // namespace pdf::ops
