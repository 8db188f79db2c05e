// PdfEncrypt: a copy of a document with AES-256 encryption and the permissions asked for.
#include "processors/pdf/document/operation_context.h"
#include "processors/pdf/run/job_parameters.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::ops {

KQ_TDict PdfEncrypt(const run::JobParameters& parameters, document::OperationContext& context) {
  std::string outputName = parameters.String("output");
  std::string userPassword = parameters.String("userPassword");
  std::string ownerPassword = parameters.String("ownerPassword");
  // Without an owner password anyone could lift the restrictions again.
  if (ownerPassword.empty())
    throw PdfError("parameter \"" + parameters.Name("ownerPassword") + "\" is empty");
  bool allowPrint = parameters.Bool("allowPrint", true);
  bool allowCopy = parameters.Bool("allowCopy", true);
  bool allowModify = parameters.Bool("allowModify", true);
  document::Rewrite rewrite = document::OpenRewrite(parameters, context, outputName);
  document::PdfFile& input = rewrite.input;

  document::WriteSetup setup;
  setup.encrypts = true;
  setup.keepEncryption = false;  // an encrypted input gets the new encryption instead
  setup.configure = [&](QPDFWriter& writer) {
    writer.setR6EncryptionParameters(
        userPassword.c_str(), ownerPassword.c_str(),
        /*allow_accessibility=*/true, /*allow_extract=*/allowCopy,
        /*allow_assemble=*/allowModify, /*allow_annotate_and_form=*/allowModify,
        /*allow_form_filling=*/allowModify, /*allow_modify_other=*/allowModify,
        allowPrint ? qpdf_r3p_full : qpdf_r3p_none, /*encrypt_metadata_aes=*/true);
  };
  document::WritePdf(*input.pdf, *rewrite.output, context.limits, input.label, setup);
  rewrite.output->Commit();

  KQ_TDict answer;
  answer["output"] = outputName;
  return answer;
}

}  // namespace pdf::ops
