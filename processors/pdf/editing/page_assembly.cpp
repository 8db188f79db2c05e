#include "processors/pdf/editing/page_assembly.h"

#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <set>
#include <utility>

#include "processors/pdf/editing/document_parts.h"
#include "processors/pdf/editing/unused_resources.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::editing {

namespace {

// Resource entries beyond which a page is pruned to what its content uses before it is
// copied: qpdf copies everything a page's resources list, and a file whose every page lists
// tens of thousands of forms it never draws took a gigabyte to merge with itself.
constexpr long long kCrowdedResources = 1000;

}  // namespace

std::shared_ptr<QPDF> AssembleDocument(const std::vector<PageSelection>& selections) {
  auto document = std::make_shared<QPDF>();
  document->setSuppressWarnings(true);
  document->emptyPDF();
  QPDFPageDocumentHelper pages(*document);
  std::set<std::pair<const QPDF*, int>> added;
  std::vector<CopiedPage> copied;
  for (const PageSelection& selection : selections) {
    try {
      for (int number : selection.pages) {
        QPDFObjectHandle from =
            selection.file->pages.at(static_cast<std::size_t>(number - 1)).getObjectHandle();
        QPDFPageObjectHelper source(from);
        if (ResourceEntries(source) > kCrowdedResources)
          RemoveUnusedResources(source);
        QPDFObjectHandle page = from;
        if (!added.insert({selection.file->pdf.get(), number}).second) {
          // The page tree may hold a page object only once: a repeat gets its own shallow
          // copy, which shares the content streams and resources.
          page = document->makeIndirectObject(document->copyForeignObject(from).shallowCopy());
        }
        pages.addPage(QPDFPageObjectHelper(page), false);
        copied.push_back({selection.file->pdf.get(), from, number - 1, {}});
      }
    } catch (const std::bad_alloc&) {
      throw;  // the run names the memory limit
    } catch (const std::exception& e) {
      throw PdfError("file \"" + selection.file->label + "\": its pages cannot be copied (" +
                     e.what() + ")");
    }
  }
  // The copies in the new document, listed once (a lookup per page would walk the tree
  // each time).
  std::vector<QPDFPageObjectHelper> written = pages.getAllPages();
  for (std::size_t i = 0; i < copied.size() && i < written.size(); ++i)
    copied[i].to = written[i].getObjectHandle();
  try {
    CarryDocumentParts(*document, copied);
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    throw PdfError("file \"" + selections.front().file->label +
                   "\": its form fields, layers or page labels cannot be copied (" + e.what() +
                   ")");
  }
  return document;
}

long long SelectedPageCount(const std::vector<PageSelection>& selections) {
  long long count = 0;
  for (const PageSelection& selection : selections)
    count += static_cast<long long>(selection.pages.size());
  return count;
}

void WriteSelection(const std::vector<PageSelection>& selections, const run::OutputFile& output,
                    document::OperationContext& context) {
  context.budget.Write(SelectedPageCount(selections), output.Label());
  std::shared_ptr<QPDF> assembled = AssembleDocument(selections);
  context.limits.damage.Watch(assembled, "output \"" + output.Label() + "\"");
  // The output is at least of the highest version among its inputs, since it holds what
  // they hold; qpdf would otherwise write the 1.3 of the empty document it started from.
  PDFVersion version(1, 3);
  for (const PageSelection& selection : selections)
    version.updateIfGreater(selection.file->pdf->getVersionAsPDFVersion());
  document::WriteSetup setup;
  setup.configure = [version](QPDFWriter& writer) { writer.setMinimumPDFVersion(version); };
  document::WritePdf(*assembled, output, context.limits, selections.front().file->label, setup);
}

}  // namespace pdf::editing
