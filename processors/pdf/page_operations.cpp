// The operations that choose and turn pages: PdfMerge, PdfExtract, PdfSplit, PdfRotate.
#include "processors/pdf/numbered_path.h"
#include "processors/pdf/operations.h"
#include "processors/pdf/page_assembly.h"
#include "processors/pdf/page_ranges.h"
#include "processors/pdf/pdf_error.h"

namespace {

// Writes the selected pages as one document to `output` (not committed yet).
void WriteSelection(const std::vector<PageSelection>& selections, const OutputFile& output,
                    OperationContext& context) {
  context.budget.Write(SelectedPageCount(selections), output.Label());
  std::shared_ptr<QPDF> document = AssembleDocument(selections);
  context.limits.damage.Watch(document, "output \"" + output.Label() + "\"");
  WritePdf(*document, output, context.limits, selections.front().file->label);
}

}  // namespace

KQ_TDict PdfMerge(const JobParameters& parameters, OperationContext& context) {
  const KQ_TArray& inputs = parameters.Array("input");
  std::string outputName = parameters.String("output");
  std::unique_ptr<OutputFile> output =
      PrepareOutput(context, outputName, parameters.Name("output"));

  // Each element opens its own copy, so a file named twice is simply read twice.
  std::vector<PdfFile> files;
  files.reserve(inputs.Count());
  std::vector<PageSelection> selections;
  for (std::size_t i = 0; i < inputs.Count(); ++i) {
    std::string element = parameters.Name("input") + "[" + std::to_string(i + 1) + "]";
    const KQ_TAny& value = inputs[i];
    if (const KQ_TString* path = value.DynamicCast<KQ_TString>()) {
      files.push_back(OpenInput(context, path->Text(), element, std::nullopt));
      selections.push_back({&files.back(), AllPages(files.back().PageCount())});
    } else if (const KQ_TDict* entry = value.DynamicCast<KQ_TDict>()) {
      JobParameters entryParameters(*entry, element + ".");
      files.push_back(OpenFileParameter(entryParameters, context));
      selections.push_back({&files.back(), SelectedPages(entryParameters, files.back().PageCount(),
                                                         context.budget.WriteRemaining() -
                                                             SelectedPageCount(selections))});
    } else {
      throw PdfError("parameter \"" + element + "\" must be a path or a dictionary with \"file\"");
    }
  }
  WriteSelection(selections, *output, context);
  output->Commit();

  KQ_TDict answer;
  answer["output"] = outputName;
  answer["pageCount"] = std::to_string(SelectedPageCount(selections));
  return answer;
}

KQ_TDict PdfExtract(const JobParameters& parameters, OperationContext& context) {
  std::string outputName = parameters.String("output");
  std::string pages = parameters.String("pages");
  std::unique_ptr<OutputFile> output =
      PrepareOutput(context, outputName, parameters.Name("output"));
  PdfFile input = OpenFileParameter(parameters, context);
  std::vector<PageSelection> selections{
      {&input, ParsePageRanges(pages, input.PageCount(), parameters.Name("pages"),
                               context.budget.WriteRemaining())}};
  WriteSelection(selections, *output, context);
  output->Commit();

  KQ_TDict answer;
  answer["output"] = outputName;
  answer["pageCount"] = std::to_string(SelectedPageCount(selections));
  return answer;
}

KQ_TDict PdfSplit(const JobParameters& parameters, OperationContext& context) {
  std::string pattern = parameters.String("output");
  CheckNumberedPattern(pattern, parameters.Name("output"));
  long long perFile = parameters.Integer("pagesPerFile", 1, 1, 1'000'000'000);
  PdfFile input = OpenFileParameter(parameters, context);

  // Every part is prepared, then written, before any is committed, so a failure leaves no
  // part behind.
  int pageCount = input.PageCount();
  std::vector<std::vector<int>> parts;
  std::vector<std::string> paths;
  for (int first = 1; first <= pageCount; first += static_cast<int>(perFile)) {
    int last = static_cast<int>(std::min<long long>(pageCount, first + perFile - 1));
    std::vector<int> pages;
    for (int page = first; page <= last; ++page)
      pages.push_back(page);
    parts.push_back(std::move(pages));
    paths.push_back(NumberedPath(pattern, static_cast<int>(parts.size())));
  }
  std::vector<std::unique_ptr<OutputFile>> outputs =
      PrepareOutputs(context, paths, parameters.Name("output"));
  KQ_TArray names;
  for (std::size_t part = 0; part < parts.size(); ++part) {
    WriteSelection({{&input, parts[part]}}, *outputs[part], context);
    names.Append(paths[part]);
  }
  for (auto& output : outputs)
    output->Commit();

  KQ_TDict answer;
  answer["output"] = names;
  answer["pageCount"] = std::to_string(pageCount);
  return answer;
}

KQ_TDict PdfRotate(const JobParameters& parameters, OperationContext& context) {
  long long angle = parameters.RequiredInteger("angle", -270, 270);
  if (angle == 0 || angle % 90 != 0)
    throw PdfError("parameter \"" + parameters.Name("angle") + "\" is \"" + std::to_string(angle) +
                   "\"; it must be 90, 180, 270, -90, -180 or -270");
  std::string outputName = parameters.String("output");
  std::unique_ptr<OutputFile> output =
      PrepareOutput(context, outputName, parameters.Name("output"));
  PdfFile input = OpenFileParameter(parameters, context);
  std::vector<int> pages = DistinctPages(parameters, input, context);
  context.budget.Write(input.PageCount(), outputName);
  for (int number : pages)
    input.pages[static_cast<std::size_t>(number - 1)].rotatePage(static_cast<int>(angle), true);
  WritePdf(*input.pdf, *output, context.limits, input.label);
  output->Commit();

  KQ_TDict answer;
  answer["output"] = outputName;
  answer["pageCount"] = std::to_string(input.PageCount());
  return answer;
}
