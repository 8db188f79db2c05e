#include "processors/pdf/pdf_document.h"

#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include <cstdio>
#include <system_error>

#include "processors/pdf/pdf_error.h"

namespace fs = std::filesystem;

PdfFile OpenPdf(const fs::path& path, const std::string& label,
                const std::optional<std::string>& password, long long maxPages) {
  std::string file = "file \"" + label + "\"";
  std::error_code error;
  if (!fs::exists(path, error))
    throw PdfError(file + " does not exist");
  if (!fs::is_regular_file(path, error))
    throw PdfError(file + " is not a file");
  std::FILE* stream = std::fopen(path.c_str(), "rb");
  if (stream == nullptr)
    throw PdfError(file + " cannot be opened");

  PdfFile result;
  result.label = label;
  result.path = path;
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
  try {
    QPDFWriter writer(pdf, output.TempPath().c_str());
    if (configure)
      configure(writer);
    writer.write();
  } catch (const PdfError&) {
    throw;
  } catch (const std::exception& e) {
    // The writer's messages name the temporary file; the client knows the output's label.
    std::string detail = e.what();
    std::string temp = output.TempPath().string();
    for (std::size_t at; (at = detail.find(temp)) != std::string::npos;)
      detail.replace(at, temp.size(), output.Label());
    throw PdfError("output \"" + output.Label() + "\" cannot be written (" + detail + ")");
  }
}
