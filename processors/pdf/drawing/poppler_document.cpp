#include "processors/pdf/drawing/poppler_document.h"

#include <poppler-global.h>

#include "processors/pdf/document/page_precheck.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::drawing {

namespace {

void DropMessage(const std::string&, void*) {}

}  // namespace

std::unique_ptr<poppler::document> OpenWithPoppler(const document::PdfFile& file,
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

std::unique_ptr<poppler::document> OpenPagesWithPoppler(
    const document::PdfFile& input, const std::vector<int>& pages, PopplerUse use,
    document::OperationContext& context, const std::optional<std::string>& password) {
  document::CheckPagesBeforePoppler(input.pages, pages,
                                    {context.limits.maxStreamBytes, use == PopplerUse::kDrawing,
                                     true, &context.limits.decoding, &context.limits.drawing},
                                    input.label);
  context.limits.damage.Check();
  return OpenWithPoppler(input, password);
}

}  // namespace pdf::drawing
