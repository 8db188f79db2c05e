#include "processors/pdf/document/operation_context.h"

#include "processors/pdf/text/page_ranges.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::document {

PdfFile OpenInput(OperationContext& context, const std::string& given, const std::string& parameter,
                  const std::optional<std::string>& password) {
  os::FileHandle file = context.paths.OpenFile(given, parameter);
  context.inputs.emplace(os::Describe(file).id, given);
  PdfFile pdf =
      OpenPdf(std::move(file), given, password, context.budget.ReadRemaining(), context.limits);
  context.budget.Read(pdf.PageCount(), given);
  return pdf;
}

PdfFile OpenFileParameter(const run::JobParameters& parameters, OperationContext& context) {
  return OpenInput(context, parameters.String("file"), parameters.Name("file"),
                   parameters.OptionalString("password"));
}

std::vector<int> SelectedPages(const run::JobParameters& parameters, int pageCount,
                               long long maxSelected) {
  std::optional<std::string> pages = parameters.OptionalString("pages");
  return pages ? text::ParsePageRanges(*pages, pageCount, parameters.Name("pages"), maxSelected)
               : text::AllPages(pageCount);
}

std::vector<int> DistinctPages(const run::JobParameters& parameters, const PdfFile& input,
                               const OperationContext& context) {
  return text::WithoutRepeats(
      SelectedPages(parameters, input.PageCount(), context.budget.MaxPages()));
}

std::unique_ptr<run::OutputFile> PrepareOutput(OperationContext& context, const std::string& given,
                                               const std::string& parameter) {
  run::OutputPlace place = context.paths.PlaceOutput(given, parameter);
  auto folder = std::make_shared<const os::FileHandle>(std::move(place.folder));
  // Many outputs into one folder share its descriptor rather than hold one each.
  auto known = context.outputFolders.emplace(os::Describe(*folder).id, folder);
  return std::make_unique<run::OutputFile>(known.first->second, place.name, place.label);
}

std::vector<std::unique_ptr<run::OutputFile>> PrepareOutputs(OperationContext& context,
                                                             const std::vector<std::string>& given,
                                                             const std::string& parameter) {
  std::vector<std::unique_ptr<run::OutputFile>> outputs;
  std::map<run::OutputTarget, std::string> targets;
  for (const std::string& path : given) {
    std::unique_ptr<run::OutputFile> output = PrepareOutput(context, path, parameter);
    // Paths such as "x1/../part.pdf" and "x2/../part.pdf" differ in text, not in the file.
    run::OutputTarget target = output->Target();
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

std::unique_ptr<run::OutputFile> OutputIfSetting(const run::JobParameters& parameters,
                                                 OperationContext& context, bool writing,
                                                 const std::string& toWrite,
                                                 std::optional<std::string>& outputName) {
  if (writing) {
    outputName = parameters.String("output");
    return PrepareOutput(context, *outputName, parameters.Name("output"));
  }
  if (parameters.Has("output"))
    throw PdfError("parameter \"" + parameters.Name("output") +
                   "\" is given without \"set\"; give " + toWrite + " in \"set\"");
  return nullptr;
}

Rewrite OpenRewrite(const run::JobParameters& parameters, OperationContext& context,
                    const std::string& outputName) {
  std::unique_ptr<run::OutputFile> output =
      PrepareOutput(context, outputName, parameters.Name("output"));
  PdfFile input = OpenFileParameter(parameters, context);
  context.budget.Write(input.PageCount(), outputName);
  return {outputName, std::move(output), std::move(input)};
}

KQ_TDict FinishRewrite(Rewrite& rewrite, OperationContext& context, const WriteSetup& setup) {
  std::vector<std::string> warnings =
      WritePdf(*rewrite.input.pdf, *rewrite.output, context.limits, rewrite.input.label, setup);
  rewrite.output->Commit();
  KQ_TDict answer = WrittenAnswer(rewrite.outputName, rewrite.input.PageCount());
  AddWarnings(answer, warnings);
  return answer;
}

void AddWarnings(KQ_TDict& answer, const std::vector<std::string>& warnings) {
  if (warnings.empty())
    return;
  KQ_TArray list;
  if (const KQ_TAny* own = answer.Find("warning"))
    if (const KQ_TArray* earlier = own->DynamicCast<KQ_TArray>())
      list = *earlier;
  for (const std::string& warning : warnings)
    list.Append(warning);
  answer["warning"] = list;
}

KQ_TDict WrittenAnswer(const std::string& output, long long pageCount) {
  KQ_TDict answer;
  answer["output"] = output;
  answer["pageCount"] = std::to_string(pageCount);
  return answer;
}

}  // namespace pdf::document
