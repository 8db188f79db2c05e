#include "processors/pdf/drawing/poppler_document.h"

#include <poppler-global.h>
#include <qpdf/Buffer.hh>
#include <qpdf/QPDFWriter.hh>

#include <memory>

#include "processors/pdf/document/page_precheck.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::drawing {

namespace {

void DropMessage(const std::string&, void*) {}

// The document as qpdf holds it, written to memory as it is (no stream decoded, none
// encrypted), for poppler to read.
poppler::byte_array AsQpdfHoldsIt(const document::PdfFile& file) {
  std::unique_ptr<Buffer> buffer;
  try {
    QPDFWriter writer(*file.pdf);
    writer.setOutputMemory();
    writer.setPreserveEncryption(false);
    writer.setDecodeLevel(qpdf_dl_none);
    writer.write();
    buffer.reset(writer.getBuffer());
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    throw PdfError("file \"" + file.label + "\" cannot be read by the renderer (" + e.what() + ")");
  }
  const char* data = reinterpret_cast<const char*>(buffer->getBuffer());
  return poppler::byte_array(data, data + buffer->getSize());
}

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
  // Where qpdf mended the page tree or lists other pages than poppler finds, poppler reads
  // qpdf's copy, so that page numbers mean the same pages to every part of the run.
  if (file.pageTreeMended || document->pages() != file.PageCount()) {
    poppler::byte_array copy = AsQpdfHoldsIt(file);
    document.reset(poppler::document::load_from_data(&copy));
    if (!document)
      throw PdfError("file \"" + file.label + "\" cannot be read by the renderer");
  }
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
