// PdfOptimize: the document rewritten smaller: object streams, compressed streams, no
// unreferenced objects or resources, and linearized for the web unless asked not to.
#include <qpdf/QPDFPageDocumentHelper.hh>

#include "processors/pdf/operations.h"
#include "processors/pdf/pdf_error.h"

KQ_TDict PdfOptimize(const JobParameters& parameters, OperationContext& context) {
  std::string outputName = parameters.String("output");
  bool linearize = parameters.Bool("linearize", true);
  std::unique_ptr<OutputFile> output =
      PrepareOutput(context, outputName, parameters.Name("output"));
  PdfFile input = OpenFileParameter(parameters, context);
  context.budget.Write(input.PageCount(), outputName);
  std::uint64_t before = os::Describe(input.file).size;

  try {
    QPDFPageDocumentHelper(*input.pdf).removeUnreferencedResources();
  } catch (const std::exception& e) {
    throw PdfError("file \"" + input.label + "\" cannot be optimized (" + e.what() + ")");
  }
  // The writer only writes objects reachable from the trailer, so unreferenced ones go.
  WritePdf(*input.pdf, *output, [&](QPDFWriter& writer) {
    writer.setObjectStreamMode(qpdf_o_generate);
    writer.setCompressStreams(true);
    writer.setDecodeLevel(qpdf_dl_generalized);
    writer.setRecompressFlate(true);
    writer.setLinearization(linearize);
  });
  std::uint64_t after = os::Describe(output->File()).size;
  output->Commit();

  KQ_TDict answer;
  answer["output"] = outputName;
  answer["bytesBefore"] = std::to_string(before);
  answer["bytesAfter"] = std::to_string(after);
  return answer;
}
