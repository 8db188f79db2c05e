// libFuzzer target: page ranges as a job gives them ("1-3,5", "z", "r2-r1:odd"), parsed for a
// document whose page count the first byte gives. Whatever the text, the parse either
// refuses it with PdfError or returns at most the allowed number of pages, each a page of
// the document.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "processors/pdf/text/page_ranges.h"
#include "processors/pdf/text/pdf_error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0)
    return 0;
  int pageCount = 1 + data[0];
  constexpr long long kMaxSelected = 5000;
  std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::vector<int> pages;
  try {
    pages = pdf::text::ParsePageRanges(text, pageCount, "pages", kMaxSelected);
  } catch (const pdf::PdfError&) {
    return 0;
  }
  if (pages.empty() || static_cast<long long>(pages.size()) > kMaxSelected)
    std::abort();
  for (int page : pages)
    if (page < 1 || page > pageCount)
      std::abort();
  return 0;
}
