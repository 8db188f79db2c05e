// Page ranges in qpdf's syntax: "1-3,5", "z" for the last page, "r1" counting from the end,
// descending ranges ("5-1") and ":odd" / ":even" suffixes. A pure function of its text.
#pragma once

#include <string>
#include <vector>

// The 1-based page numbers `text` selects from a document of `pageCount` pages, in the
// order written (a page may come more than once). Throws PdfError naming `parameter` and
// the text when it is malformed, empty or names a page outside 1..pageCount.
std::vector<int> ParsePageRanges(const std::string& text, int pageCount,
                                 const std::string& parameter);

// The numbers 1..pageCount.
std::vector<int> AllPages(int pageCount);

// `pages` without repeats, in the order of first appearance.
std::vector<int> WithoutRepeats(const std::vector<int>& pages);
