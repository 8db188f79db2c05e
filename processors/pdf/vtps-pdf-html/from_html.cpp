// PdfFromHtml: a web page ("file", with its stylesheets, images, fonts and scripts beside it)
// printed to PDF by the browser engine; every file the page asks for is served by this
// program from beneath the root, and every other request is refused and named in the
// answer's warnings.
#include "processors/pdf/vtps-pdf-html/page_print.h"

namespace pdf::ops {

KQ_TDict PdfFromHtml(const run::JobParameters& parameters, document::OperationContext& context) {
  return PrintDocument(parameters, context, {".html", ".htm", ".xhtml"});
}

}  // namespace pdf::ops
