#include "processors/pdf/page_ranges.h"

#include <qpdf/QUtil.hh>

#include <numeric>
#include <set>
#include <stdexcept>

#include "processors/pdf/pdf_error.h"

std::vector<int> ParsePageRanges(const std::string& text, int pageCount,
                                 const std::string& parameter) {
  std::string where = "parameter \"" + parameter + "\"";
  if (pageCount <= 0)
    throw PdfError(where + ": the document has no pages");
  try {
    // qpdf's parser is the reference for the syntax; its messages say what is wrong.
    return QUtil::parse_numrange(text.c_str(), pageCount);
  } catch (const std::exception& e) {
    throw PdfError(where + ": \"" + text + "\" is not a page range of a document with " +
                   std::to_string(pageCount) + (pageCount == 1 ? " page (" : " pages (") +
                   e.what() + ")");
  }
}

std::vector<int> AllPages(int pageCount) {
  std::vector<int> pages(static_cast<std::size_t>(pageCount > 0 ? pageCount : 0));
  std::iota(pages.begin(), pages.end(), 1);
  return pages;
}

std::vector<int> WithoutRepeats(const std::vector<int>& pages) {
  std::vector<int> result;
  std::set<int> seen;
  for (int page : pages)
    if (seen.insert(page).second)
      result.push_back(page);
  return result;
}
