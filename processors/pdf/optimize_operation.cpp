// PdfOptimize: the document rewritten smaller: object streams, compressed streams, no
// unreferenced objects or resources, and linearized for the web unless asked not to.
#include <qpdf/QPDFPageDocumentHelper.hh>

#include "processors/pdf/operations.h"
#include "processors/pdf/page_precheck.h"
#include "processors/pdf/page_ranges.h"
#include "processors/pdf/pdf_error.h"

KQ_TDict PdfOptimize(const JobParameters& parameters, OperationContext& context) {
  std::string outputName = parameters.String("output");
  bool linearize = parameters.Bool("linearize", true);
  std::unique_ptr<OutputFile> output =
      PrepareOutput(context, outputName, parameters.Name("output"));
  PdfFile input = OpenFileParameter(parameters, context);
  context.budget.Write(input.PageCount(), outputName);
  std::uint64_t before = os::Describe(input.file).size;

  // Finding the unused resources parses every page's content streams and forms in memory.
  std::vector<int> all = AllPages(input.PageCount());
  CheckPagesBeforePoppler(input.pages, all, {context.limits.maxStreamBytes, false, false},
                          input.label);
  try {
    QPDFPageDocumentHelper(*input.pdf).removeUnreferencedResources();
  } catch (const std::exception& e) {
    throw PdfError("file \"" + input.label + "\" cannot be optimized (" + e.what() + ")");
  }
  // The writer only writes objects reachable from the trailer, so unreferenced ones go.
  WriteSetup setup;
  setup.decoding.level = qpdf_dl_generalized;
  setup.decoding.compressStreams = true;
  setup.decoding.recompressFlate = true;
  setup.linearize = linearize;
  setup.configure = [](QPDFWriter& writer) { writer.setObjectStreamMode(qpdf_o_generate); };
  WritePdf(*input.pdf, *output, context.limits, input.label, setup);
  std::uint64_t after = os::Describe(output->File()).size;
  output->Commit();

  KQ_TDict answer;
  answer["output"] = outputName;
  answer["bytesBefore"] = std::to_string(before);
  answer["bytesAfter"] = std::to_string(after);
  return answer;
}
