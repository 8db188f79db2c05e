// PdfExtract: chosen pages of a document copied into a new one.
#include "processors/pdf/document/operation_context.h"
#include "processors/pdf/editing/page_assembly.h"
#include "processors/pdf/run/job_parameters.h"
#include "processors/pdf/text/page_ranges.h"

namespace pdf::ops {

KQ_TDict PdfExtract(const run::JobParameters& parameters, document::OperationContext& context) {
  std::string outputName = parameters.String("output");
  std::string pages = parameters.String("pages");
  std::unique_ptr<run::OutputFile> output =
      document::PrepareOutput(context, outputName, parameters.Name("output"));
  document::PdfFile input = document::OpenFileParameter(parameters, context);
  std::vector<editing::PageSelection> selections{
      {&input, text::ParsePageRanges(pages, input.PageCount(), parameters.Name("pages"),
                                     context.budget.WriteRemaining())}};
  editing::WriteSelection(selections, *output, context);
  output->Commit();
  return document::WrittenAnswer(outputName, editing::SelectedPageCount(selections));
}

}  // namespace pdf::ops
