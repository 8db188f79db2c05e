// A document's outline (its bookmarks) read into a tree of titles and page numbers, and
// written from one. A hostile outline is bounded: at most kMaxBookmarks entries and
// kMaxBookmarkDepth levels, walked without recursion, an entry reached twice (a loop) is
// listed once, and named destinations are looked up in one index of the document's name
// tree, built once. Use from one thread; the tree owns its entries.
#pragma once

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <string>
#include <vector>

namespace pdf::editing {

constexpr long long kMaxBookmarks = 10000;
constexpr int kMaxBookmarkDepth = 64;

struct Bookmark {
  std::string title;  // UTF-8
  int page = 0;       // 1-based; 0 when the entry leads to no page of the document
  std::vector<Bookmark> children;
};

// The outline of `pdf`, whose pages are `pages`. Entries reached a second time are left out
// and counted in `repeats`. Throws PdfError naming the file `label` when the outline holds
// more than kMaxBookmarks entries or nests deeper than kMaxBookmarkDepth levels.
std::vector<Bookmark> ReadOutline(QPDF& pdf, const std::vector<QPDFPageObjectHelper>& pages,
                                  const std::string& label, long long& repeats);

// Replaces the outline of `pdf` with `bookmarks` (none: the outline is removed). Pages are
// checked by the caller to be 1 to pages.size(), or 0 for none.
void WriteOutline(QPDF& pdf, const std::vector<QPDFPageObjectHelper>& pages,
                  const std::vector<Bookmark>& bookmarks);

}  // namespace pdf::editing
