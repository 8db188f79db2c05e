#include "processors/pdf/poppler_document.h"

#include <poppler-global.h>

#include "processors/pdf/pdf_error.h"

namespace {

void DropMessage(const std::string&, void*) {}

}  // namespace

std::unique_ptr<poppler::document> OpenWithPoppler(const PdfFile& file,
                                                   const std::optional<std::string>& password) {
  poppler::set_debug_error_function(&DropMessage, nullptr);
  std::string secret = password.value_or("");
  std::unique_ptr<poppler::document> document(
      poppler::document::load_from_file(file.file.ProcPath(), secret, secret));
  if (!document)
    throw PdfError("file \"" + file.label + "\" cannot be read by the renderer");
  if (document->is_locked())
    throw PdfError("file \"" + file.label + "\": the password is wrong");
  return document;
}
