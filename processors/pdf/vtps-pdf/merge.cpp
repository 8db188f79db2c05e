// PdfMerge: pages of several documents, all or chosen, joined into one.
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

  // Each element reads its file anew, so a file named twice is read twice: copying its pages
  // twice from one document gives qpdf's copying of form fields a field tree it refuses.
  std::vector<document::PdfFile> files;
  files.reserve(inputs.Count());
  std::vector<editing::PageSelection> selections;
  for (std::size_t i = 0; i < inputs.Count(); ++i) {
    std::string element = parameters.Name("input") + "[" + std::to_string(i + 1) + "]";
    const KQ_TAny& value = inputs[i];
    if (const KQ_TString* path = value.DynamicCast<KQ_TString>()) {
      files.push_back(document::OpenInput(context, path->Text(), element, std::nullopt));
      selections.push_back({&files.back(), text::AllPages(files.back().PageCount())});
    } else if (const KQ_TDict* entry = value.DynamicCast<KQ_TDict>()) {
      run::JobParameters entryParameters(*entry, element + ".");
      files.push_back(document::OpenFileParameter(entryParameters, context));
      selections.push_back(
          {&files.back(), document::SelectedPages(entryParameters, files.back().PageCount(),
                                                  context.budget.WriteRemaining() -
                                                      editing::SelectedPageCount(selections))});
    } else {
      throw PdfError("parameter \"" + element + "\" must be a path or a dictionary with \"file\"");
    }
  }
  editing::WriteSelection(selections, *output, context);
  output->Commit();
  return document::WrittenAnswer(outputName, editing::SelectedPageCount(selections));
}

}  // namespace pdf::ops
