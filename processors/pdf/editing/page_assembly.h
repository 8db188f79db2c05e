// A new document made of pages of opened inputs, in the order given; a page chosen twice
// appears twice. The new document refers to the inputs' objects until it is written, so
// the inputs must outlive the writing.
#pragma once

#include <memory>
#include <vector>

#include <qpdf/QPDF.hh>

#include "processors/pdf/document/operation_context.h"
#include "processors/pdf/document/pdf_document.h"
#include "processors/pdf/run/output_file.h"

namespace pdf::editing {

struct PageSelection {
  const document::PdfFile* file;  // borrowed
  std::vector<int> pages;         // 1-based, checked against the file's page count
};

// The document holding the selected pages. Throws PdfError naming the input when its pages
// cannot be copied (a damaged object).
std::shared_ptr<QPDF> AssembleDocument(const std::vector<PageSelection>& selections);

// The number of pages the selections hold.
long long SelectedPageCount(const std::vector<PageSelection>& selections);

// Writes the selected pages as one document to `output` (not committing it), after charging
// them to the write budget. Throws PdfError as PageBudget::Write, AssembleDocument and
// WritePdf do.
void WriteSelection(const std::vector<PageSelection>& selections, const run::OutputFile& output,
                    document::OperationContext& context);

}  // namespace pdf::editing
