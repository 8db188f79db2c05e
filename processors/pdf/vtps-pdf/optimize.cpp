// PdfOptimize: the document rewritten smaller: object streams, compressed streams, no
// unreferenced objects or resources, and linearized for the web unless asked not to.
#include "processors/pdf/document/operation_context.h"
#include "processors/pdf/document/page_precheck.h"
#include "processors/pdf/editing/unused_resources.h"
#include "processors/pdf/run/job_parameters.h"
#include "processors/pdf/text/page_ranges.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::ops {

KQ_TDict PdfOptimize(const run::JobParameters& parameters, document::OperationContext& context) {
  std::string outputName = parameters.String("output");
  bool linearize = parameters.Bool("linearize", true);
  document::Rewrite rewrite = document::OpenRewrite(parameters, context, outputName);
  document::PdfFile& input = rewrite.input;
  std::uint64_t before = os::Describe(input.file).size;

  // Finding the unused resources parses every page's content streams and forms in memory.
  std::vector<int> all = text::AllPages(input.PageCount());
  document::CheckPagesBeforePoppler(
      input.pages, all, {context.limits.maxStreamBytes, false, false, &context.limits.decoding},
      input.label);
  try {
    editing::RemoveUnusedResources(*input.pdf);
  } catch (const std::exception& e) {
    throw PdfError("file \"" + input.label + "\" cannot be optimized (" + e.what() + ")");
  }
  document::WriteSetup setup = document::CompactSetup(linearize);
  document::WritePdf(*input.pdf, *rewrite.output, context.limits, input.label, setup);
  std::uint64_t after = os::Describe(rewrite.output->File()).size;
  rewrite.output->Commit();

  KQ_TDict answer;
  answer["output"] = outputName;
  answer["bytesBefore"] = std::to_string(before);
  answer["bytesAfter"] = std::to_string(after);
  return answer;
}

}  // namespace pdf::ops
