#include "processors/pdf/page_assembly.h"

#include <qpdf/QPDFPageDocumentHelper.hh>

#include <set>
#include <utility>

#include "processors/pdf/pdf_error.h"

std::shared_ptr<QPDF> AssembleDocument(const std::vector<PageSelection>& selections) {
  auto document = std::make_shared<QPDF>();
  document->setSuppressWarnings(true);
  document->emptyPDF();
  QPDFPageDocumentHelper pages(*document);
  std::set<std::pair<const QPDF*, int>> added;
  for (const PageSelection& selection : selections) {
    try {
      for (int number : selection.pages) {
        QPDFObjectHandle page =
            selection.file->pages.at(static_cast<std::size_t>(number - 1)).getObjectHandle();
        if (!added.insert({selection.file->pdf.get(), number}).second) {
          // The page tree may hold a page object only once: a repeat gets its own shallow
          // copy, which shares the content streams and resources.
          QPDFObjectHandle copied = document->copyForeignObject(page);
          page = document->makeIndirectObject(copied.shallowCopy());
        }
        pages.addPage(QPDFPageObjectHelper(page), false);
      }
    } catch (const std::exception& e) {
      throw PdfError("file \"" + selection.file->label + "\": its pages cannot be copied (" +
                     e.what() + ")");
    }
  }
  return document;
}

long long SelectedPageCount(const std::vector<PageSelection>& selections) {
  long long count = 0;
  for (const PageSelection& selection : selections)
    count += static_cast<long long>(selection.pages.size());
  return count;
}
