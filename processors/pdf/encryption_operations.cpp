// PdfEncrypt and PdfDecrypt: writing a document with AES-256 encryption, or without any.
#include "processors/pdf/operations.h"
#include "processors/pdf/pdf_error.h"

KQ_TDict PdfEncrypt(const JobParameters& parameters, OperationContext& context) {
  std::string outputName = parameters.String("output");
  std::string userPassword = parameters.String("userPassword");
  std::string ownerPassword = parameters.String("ownerPassword");
  // Without an owner password anyone could lift the restrictions again.
  if (ownerPassword.empty())
    throw PdfError("parameter \"" + parameters.Name("ownerPassword") + "\" is empty");
  bool allowPrint = parameters.Bool("allowPrint", true);
  bool allowCopy = parameters.Bool("allowCopy", true);
  bool allowModify = parameters.Bool("allowModify", true);
  std::unique_ptr<OutputFile> output =
      PrepareOutput(context, outputName, parameters.Name("output"));
  PdfFile input = OpenFileParameter(parameters, context);
  context.budget.Write(input.PageCount(), outputName);

  WriteSetup setup;
  setup.configure = [&](QPDFWriter& writer) {
    writer.setR6EncryptionParameters(
        userPassword.c_str(), ownerPassword.c_str(),
        /*allow_accessibility=*/true, /*allow_extract=*/allowCopy,
        /*allow_assemble=*/allowModify, /*allow_annotate_and_form=*/allowModify,
        /*allow_form_filling=*/allowModify, /*allow_modify_other=*/allowModify,
        allowPrint ? qpdf_r3p_full : qpdf_r3p_none, /*encrypt_metadata_aes=*/true);
  };
  WritePdf(*input.pdf, *output, context.limits, input.label, setup);
  output->Commit();

  KQ_TDict answer;
  answer["output"] = outputName;
  return answer;
}

KQ_TDict PdfDecrypt(const JobParameters& parameters, OperationContext& context) {
  std::string outputName = parameters.String("output");
  std::string password = parameters.String("password");
  std::unique_ptr<OutputFile> output =
      PrepareOutput(context, outputName, parameters.Name("output"));
  PdfFile input = OpenInput(context, parameters.String("file"), parameters.Name("file"), password);
  context.budget.Write(input.PageCount(), outputName);
  WriteSetup setup;
  setup.configure = [](QPDFWriter& writer) { writer.setPreserveEncryption(false); };
  WritePdf(*input.pdf, *output, context.limits, input.label, setup);
  output->Commit();

  KQ_TDict answer;
  answer["output"] = outputName;
  return answer;
}
