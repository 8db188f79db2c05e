// Page ranges in qpdf's syntax: "1-3,5", "z" for the last page, "r1" counting from the end,
// descending ranges ("5-1") and ":odd" / ":even" suffixes (which keep every other entry of
// the whole list). Parsed here rather than by qpdf so that the list is bounded before it
// is built: "1-z" written a hundred thousand times is refused, not expanded. Pure
// functions of their arguments.
#pragma once

#include <string>
#include <vector>

namespace pdf::text {

// The 1-based page numbers `text` selects from a document of `pageCount` pages, in the
// order written (a page may come more than once). Throws PdfError naming `parameter` and
// the text when it is malformed, empty, selects no page ("1:even") or names a page outside
// 1..pageCount, and naming
// VTPS_PDF_MAX_PAGES when it selects more than `maxSelected` pages.
std::vector<int> ParsePageRanges(const std::string& text, int pageCount,
                                 const std::string& parameter, long long maxSelected);

// The numbers 1..pageCount.
std::vector<int> AllPages(int pageCount);

// `pages` without repeats, in the order of first appearance.
std::vector<int> WithoutRepeats(const std::vector<int>& pages);

}  // namespace pdf::text
