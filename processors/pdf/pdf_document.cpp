#include "processors/pdf/pdf_document.h"

#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include <cstdio>

#include "processors/pdf/pdf_error.h"

PdfFile OpenPdf(os::FileHandle handle, const std::string& label,
                const std::optional<std::string>& password, long long maxPages) {
  std::string file = "file \"" + label + "\"";
  // qpdf reads through a stream of its own, which it closes when done.
  std::FILE* stream = os::OpenStream(handle, "rb");
  if (stream == nullptr)
    throw PdfError(file + " cannot be opened");

  PdfFile result;
  result.label = label;
  result.file = std::move(handle);
  result.pdf = std::make_unique<QPDF>();
  result.pdf->setSuppressWarnings(true);
  // A damaged file is refused: a repaired one may silently lose pages or content.
  result.pdf->setAttemptRecovery(false);
  try {
    // The label names the file in qpdf's own messages, so that they never show the root.
    result.pdf->processFile(label.c_str(), stream, true, password ? password->c_str() : nullptr);
    QPDFObjectHandle declared = result.pdf->getRoot().getKey("/Pages").getKey("/Count");
    if (declared.isInteger() && declared.getIntValue() > maxPages)
      throw PdfError(file + " has " + std::to_string(declared.getIntValue()) +
                     " pages; this run may read at most " + std::to_string(maxPages) +
                     " more (VTPS_PDF_MAX_PAGES)");
    result.pages = QPDFPageDocumentHelper(*result.pdf).getAllPages();
  } catch (const PdfError&) {
    throw;
  } catch (const QPDFExc& e) {
    if (e.getErrorCode() == qpdf_e_password)
      throw PdfError(password ? file + ": the password is wrong"
                              : file + " is encrypted; give its \"password\"");
    throw PdfError(file + " is damaged or not a PDF (" + e.getMessageDetail() + ")");
  } catch (const std::exception& e) {
    throw PdfError(file + " cannot be read (" + e.what() + ")");
  }
  return result;
}

void WritePdf(QPDF& pdf, const OutputFile& output,
              const std::function<void(QPDFWriter&)>& configure) {
  std::FILE* stream = os::OpenStream(output.File(), "wb");
  if (stream == nullptr)
    throw PdfError("output \"" + output.Label() + "\" cannot be written");
  try {
    QPDFWriter writer(pdf);
    // The label names the output in the writer's own messages; the writer closes the stream.
    writer.setOutputFile(output.Label().c_str(), stream, true);
    if (configure)
      configure(writer);
    writer.write();
  } catch (const PdfError&) {
    throw;
  } catch (const std::exception& e) {
    throw PdfError("output \"" + output.Label() + "\" cannot be written (" + e.what() + ")");
  }
}
