// PdfRepair: what qpdf can recover of a damaged file, written as a sound PDF, with the
// problems it found. A file in which qpdf finds nothing wrong is copied byte for byte.
#include <qpdf/QPDFExc.hh>

#include "processors/pdf/damage_watch.h"
#include "processors/pdf/file_bytes.h"
#include "processors/pdf/operations.h"
#include "processors/pdf/pdf_error.h"
#include "processors/pdf/qpdf_warning.h"
#include "processors/pdf/xml_text.h"

namespace {

// Moves the document's new warnings into `problems`. Throws PdfError naming `subject` when
// one of them says that qpdf ran out of memory.
void CollectProblems(QPDF& pdf, const std::string& subject, std::vector<std::string>& problems) {
  std::vector<std::string> messages;
  for (const QPDFExc& warning : pdf.getWarnings())
    messages.push_back(XmlSafeText(warning.what()));
  for (WarningKind kind : ClassifyWarnings(messages))
    if (kind == WarningKind::kOutOfMemory)
      throw PdfError(OutOfMemoryMessage(subject));
  problems.insert(problems.end(), messages.begin(), messages.end());
}

}  // namespace

KQ_TDict PdfRepair(const JobParameters& parameters, OperationContext& context) {
  std::string outputName = parameters.String("output");
  std::string inputName = parameters.String("file");
  std::unique_ptr<OutputFile> output =
      PrepareOutput(context, outputName, parameters.Name("output"));
  os::FileHandle handle = context.paths.OpenFile(inputName, parameters.Name("file"));
  context.inputs.emplace(os::Describe(handle).id, inputName);
  PdfFile input = OpenPdf(std::move(handle), inputName, parameters.OptionalString("password"),
                          context.budget.ReadRemaining(), context.limits, Damage::kRecover);
  context.budget.Read(input.PageCount(), inputName);
  context.budget.Write(input.PageCount(), outputName);
  std::string subject = "file \"" + inputName + "\"";

  // qpdf reads objects when they are first used; reading every one of them now finds the
  // damage (a wrong stream length, an object missing where the table says) before deciding
  // whether the file needs repair at all.
  std::vector<std::string> problems;
  try {
    for (QPDFObjectHandle& object : input.pdf->getAllObjects())
      object.getTypeCode();
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    throw PdfError(subject + " cannot be repaired (" + std::string(e.what()) + ")");
  }
  CollectProblems(*input.pdf, subject, problems);

  if (problems.empty()) {
    CopyFileTo(input.file, subject, *output, context.limits.output);
  } else {
    // Streams are copied as the file holds them (recovered lengths included): decoding and
    // encoding them again would only add ways to lose data.
    WriteSetup setup;
    setup.decoding.level = qpdf_dl_none;
    setup.decoding.compressStreams = false;
    WritePdf(*input.pdf, *output, context.limits, inputName, setup);
    CollectProblems(*input.pdf, subject, problems);
  }
  output->Commit();

  KQ_TArray list;
  for (const std::string& problem : problems)
    list.Append(problem);
  KQ_TDict answer;
  answer["output"] = outputName;
  answer["repaired"] = problems.empty() ? "false" : "true";
  answer["problem"] = list;
  return answer;
}
