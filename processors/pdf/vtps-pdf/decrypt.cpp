// PdfDecrypt: a copy of an encrypted document without encryption.
#include "processors/pdf/document/operation_context.h"
#include "processors/pdf/run/job_parameters.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::ops {

KQ_TDict PdfDecrypt(const run::JobParameters& parameters, document::OperationContext& context) {
  std::string outputName = parameters.String("output");
  std::string password = parameters.String("password");
  std::unique_ptr<run::OutputFile> output =
      document::PrepareOutput(context, outputName, parameters.Name("output"));
  document::PdfFile input =
      document::OpenInput(context, parameters.String("file"), parameters.Name("file"), password);
  context.budget.Write(input.PageCount(), outputName);
  document::WriteSetup setup;
  setup.keepEncryption = false;
  document::WritePdf(*input.pdf, *output, context.limits, input.label, setup);
  output->Commit();

  KQ_TDict answer;
  answer["output"] = outputName;
  return answer;
}

}  // namespace pdf::ops
