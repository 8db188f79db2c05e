// PdfMerge: pages of several documents, all or chosen, joined into one.
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "processors/pdf/document/operation_context.h"
#include "processors/pdf/editing/page_assembly.h"
#include "processors/pdf/run/job_parameters.h"
#include "processors/pdf/text/page_ranges.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::ops {

KQ_TDict PdfMerge(const run::JobParameters& parameters, document::OperationContext& context) {
  const KQ_TArray& inputs = parameters.Array("input");
  std::string outputName = parameters.String("output");
  std::unique_ptr<run::OutputFile> output =
      document::PrepareOutput(context, outputName, parameters.Name("output"));

  // A file named twice (with the same password) is read once: its pages are copied again
  // from the same document, which halves the memory a merge of a file with itself takes.
  std::vector<document::PdfFile> files;
  files.reserve(inputs.Count());
  std::map<std::pair<std::string, std::optional<std::string>>, const document::PdfFile*> opened;
  auto open = [&](const std::string& path, const std::string& parameter,
                  const std::optional<std::string>& password) -> const document::PdfFile& {
    auto [at, fresh] = opened.try_emplace({path, password}, nullptr);
    if (fresh) {
      files.push_back(document::OpenInput(context, path, parameter, password));
      at->second = &files.back();
    }
    return *at->second;
  };
  std::vector<editing::PageSelection> selections;
  for (std::size_t i = 0; i < inputs.Count(); ++i) {
    std::string element = parameters.Name("input") + "[" + std::to_string(i + 1) + "]";
    const KQ_TAny& value = inputs[i];
    if (const KQ_TString* path = value.DynamicCast<KQ_TString>()) {
      const document::PdfFile& file = open(path->Text(), element, std::nullopt);
      selections.push_back({&file, text::AllPages(file.PageCount())});
    } else if (const KQ_TDict* entry = value.DynamicCast<KQ_TDict>()) {
      run::JobParameters entryParameters(*entry, element + ".");
      const document::PdfFile& file =
          open(entryParameters.String("file"), entryParameters.Name("file"),
               entryParameters.OptionalString("password"));
      selections.push_back(
          {&file, document::SelectedPages(
                      entryParameters, file.PageCount(),
                      context.budget.WriteRemaining() - editing::SelectedPageCount(selections))});
    } else {
      throw PdfError("parameter \"" + element + "\" must be a path or a dictionary with \"file\"");
    }
  }
  editing::WriteSelection(selections, *output, context);
  output->Commit();
  return document::WrittenAnswer(outputName, editing::SelectedPageCount(selections));
}

}  // namespace pdf::ops
