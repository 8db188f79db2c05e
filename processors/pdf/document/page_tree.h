// Counting a document's pages before anything copies them. qpdf's page list gives a page
// object that the tree lists more than once a copy of its own, so a few hundred inner nodes
// sharing one /Kids array that lists a page a few hundred times make a hundred thousand
// pages from a few kilobytes, whatever the /Count says. This walk counts the leaves as qpdf
// would list them, iteratively, stops as soon as the count passes the limit, and refuses
// a tree that reaches an inner node twice (as qpdf does: it would loop or multiply).
#pragma once

#include <qpdf/QPDF.hh>

#include <string>

namespace pdf::document {

// The number of pages (leaves of the tree under the catalog's /Pages, a node with /Kids
// being an inner node and anything else a page, each listing counted) of `pdf`. Throws
// PdfError naming `label` and VTPS_PDF_MAX_PAGES when there are more than `maxPages`;
// throws PdfError naming `label` when the tree reaches an inner node a second time.
long long CountPageTreeLeaves(QPDF& pdf, const std::string& label, long long maxPages);

}  // namespace pdf::document
