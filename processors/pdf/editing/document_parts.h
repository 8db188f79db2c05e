// What a document assembled from chosen pages keeps of its inputs besides the pages
// themselves: their form fields with values and appearances, their optional content (the
// layers and which are shown) and their page labels. Without these a merge or an extract
// turned a filled form into empty fields, showed hidden layers and numbered every page from 1
// again. Outlines, document JavaScript and other document-wide parts are not carried.
#pragma once

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <vector>

namespace pdf::editing {

// One page of the assembled document and where it came from.
struct CopiedPage {
  QPDF* source;           // the input document, borrowed
  QPDFObjectHandle from;  // the page in `source`
  int fromIndex;          // its 0-based place in `source`'s page list
  QPDFObjectHandle to;    // the page in the assembled document
};

// Gives `assembled`, whose pages are `pages` in order, the form fields of its inputs' copied
// pages (each page copy with annotations of its own; a field name two inputs share is made
// unique, as qpdf's page selection does), the inputs' optional content properties (every
// input's layers, each hidden one still hidden), and, when any input labels its pages, the
// label each page had (pages of inputs without labels keep their page numbers). Throws what
// qpdf throws on a damaged form or label tree.
void CarryDocumentParts(QPDF& assembled, const std::vector<CopiedPage>& pages);

}  // namespace pdf::editing
