// Counting a document's pages before anything copies them. qpdf's page list gives a page
// object that the tree lists more than once a copy of its own, so a tree whose every node
// lists the next one twice makes 2^depth pages from a few objects, whatever its /Count
// says. This walk counts the leaves as qpdf would list them, iteratively, stops as soon as
// the count passes the limit, and refuses a tree that contains itself.
#pragma once

#include <qpdf/QPDF.hh>

#include <string>

// The number of pages (leaves of the tree under the catalog's /Pages, a node with /Kids
// being an inner node and anything else a page, each listing counted) of `pdf`. Throws
// PdfError naming `label` and VTPS_PDF_MAX_PAGES when there are more than `maxPages`, or
// when walking the tree would visit more than `maxPages` pages plus the document's object
// count; throws PdfError naming `label` when a node lists one of its own ancestors.
long long CountPageTreeLeaves(QPDF& pdf, const std::string& label, long long maxPages);
