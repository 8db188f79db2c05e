// A new document made of pages of opened inputs, in the order given; a page chosen twice
// appears twice. The new document refers to the inputs' objects until it is written, so
// the inputs must outlive the writing.
#pragma once

#include <memory>
#include <vector>

#include <qpdf/QPDF.hh>

#include "processors/pdf/pdf_document.h"

struct PageSelection {
  const PdfFile* file;     // borrowed
  std::vector<int> pages;  // 1-based, checked against the file's page count
};

// The document holding the selected pages. Throws PdfError naming the input when its pages
// cannot be copied (a damaged object).
std::shared_ptr<QPDF> AssembleDocument(const std::vector<PageSelection>& selections);

// The number of pages the selections hold.
long long SelectedPageCount(const std::vector<PageSelection>& selections);
