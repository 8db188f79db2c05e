#include "processors/pdf/operation_context.h"

#include "processors/pdf/page_ranges.h"
#include "processors/pdf/pdf_error.h"

PdfFile OpenInput(OperationContext& context, const std::string& given, const std::string& parameter,
                  const std::optional<std::string>& password) {
  os::FileHandle file = context.paths.OpenFile(given, parameter);
  context.inputs.emplace(os::Describe(file).id, given);
  PdfFile pdf =
      OpenPdf(std::move(file), given, password, context.budget.ReadRemaining(), context.limits);
  context.budget.Read(pdf.PageCount(), given);
  return pdf;
}

PdfFile OpenFileParameter(const JobParameters& parameters, OperationContext& context) {
  return OpenInput(context, parameters.String("file"), parameters.Name("file"),
                   parameters.OptionalString("password"));
}

std::vector<int> SelectedPages(const JobParameters& parameters, int pageCount,
                               long long maxSelected) {
  std::optional<std::string> pages = parameters.OptionalString("pages");
  return pages ? ParsePageRanges(*pages, pageCount, parameters.Name("pages"), maxSelected)
               : AllPages(pageCount);
}

std::vector<int> DistinctPages(const JobParameters& parameters, const PdfFile& input,
                               const OperationContext& context) {
  return WithoutRepeats(SelectedPages(parameters, input.PageCount(), context.budget.MaxPages()));
}

std::unique_ptr<OutputFile> PrepareOutput(OperationContext& context, const std::string& given,
                                          const std::string& parameter) {
  OutputPlace place = context.paths.PlaceOutput(given, parameter);
  auto folder = std::make_shared<const os::FileHandle>(std::move(place.folder));
  // Many outputs into one folder share its descriptor rather than hold one each.
  auto known = context.outputFolders.emplace(os::Describe(*folder).id, folder);
  return std::make_unique<OutputFile>(known.first->second, place.name, place.label);
}

std::vector<std::unique_ptr<OutputFile>> PrepareOutputs(OperationContext& context,
                                                        const std::vector<std::string>& given,
                                                        const std::string& parameter) {
  std::vector<std::unique_ptr<OutputFile>> outputs;
  std::map<OutputTarget, std::string> targets;
  for (const std::string& path : given) {
    std::unique_ptr<OutputFile> output = PrepareOutput(context, path, parameter);
    // Paths such as "x1/../part.pdf" and "x2/../part.pdf" differ in text, not in the file.
    OutputTarget target = output->Target();
    auto [earlier, added] = targets.emplace(target, path);
    if (!added)
      throw PdfError("parameter \"" + parameter + "\": \"" + path + "\" and \"" + earlier->second +
                     "\" name the same file");
    std::optional<os::FileInfo> existing =
        os::DescribeEntry(*context.outputFolders.at(target.folder), target.name);
    if (existing && context.inputs.count(existing->id) > 0)
      throw PdfError("parameter \"" + parameter + "\": \"" + path +
                     "\" would replace the input \"" + context.inputs.at(existing->id) + "\"");
    outputs.push_back(std::move(output));
  }
  return outputs;
}
