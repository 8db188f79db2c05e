// Counting a document's pages before anything copies them. qpdf's page list gives a page
// object that the tree lists more than once a copy of its own, so a few hundred inner nodes
// sharing one /Kids array that lists a page a few hundred times make a hundred thousand
// pages from a few kilobytes, whatever the /Count says. This walk counts the leaves as qpdf
// would list them, iteratively, stops as soon as the count passes the limit, and refuses
// a tree that reaches an inner node twice (as qpdf does: it would loop or multiply).
//
// Mending gives qpdf and poppler one reading of a tree whose shape only readers forgive: a
// catalog whose /Pages is a page itself, a page that carries an empty /Kids, a node or page
// written directly into its parent's /Kids (which qpdf takes, and poppler reads as a blank).
#pragma once

#include <qpdf/QPDF.hh>

#include <string>

namespace pdf::document {

// The number of pages (leaves of the tree under the catalog's /Pages, a node with /Kids being
// an inner node unless it says it is a page and its /Kids lists nothing, and anything else a
// page, each listing counted; a root that is no node counted only when it says it is a
// page) of `pdf`. Throws
// PdfError naming `label` and VTPS_PDF_MAX_PAGES when there are more than `maxPages`;
// throws PdfError naming `label` when the tree reaches an inner node a second time.
long long CountPageTreeLeaves(QPDF& pdf, const std::string& label, long long maxPages);

// Rewrites, in `pdf` only, the shapes above into a plain tree of the same pages: the lone page
// under a new root node, a page's empty /Kids removed, and every dictionary in a /Kids array
// made an object of its own. Returns what was found ("a page as its root"; several joined
// by "and"), "" when nothing. Call it on a tree counted by CountPageTreeLeaves, which bounds
// the walk.
std::string MendPageTree(QPDF& pdf);

}  // namespace pdf::document
