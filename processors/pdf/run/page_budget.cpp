#include "processors/pdf/run/page_budget.h"

#include <charconv>

#include "processors/pdf/text/pdf_error.h"

namespace pdf::run {

long long MaxPagesSetting(const std::optional<std::string>& value) {
  if (!value || value->empty())
    return kDefaultMaxPages;
  long long pages = 0;
  const char* end = value->data() + value->size();
  auto [rest, error] = std::from_chars(value->data(), end, pages);
  if (error != std::errc() || rest != end || pages < 1 || pages > 1'000'000'000)
    throw PdfError("VTPS_PDF_MAX_PAGES is \"" + *value +
                   "\"; it must be a whole number from 1 to 1000000000");
  return pages;
}

void PageBudget::Read(long long pages, const std::string& label) {
  read_ += pages;
  if (read_ > maxPages_)
    throw PdfError("file \"" + label + "\": this run would read more than " +
                   std::to_string(maxPages_) + " pages (VTPS_PDF_MAX_PAGES)");
}

void PageBudget::Write(long long pages, const std::string& label) {
  written_ += pages;
  if (written_ > maxPages_)
    throw PdfError("output \"" + label + "\": this run would write more than " +
                   std::to_string(maxPages_) + " pages (VTPS_PDF_MAX_PAGES)");
}

}  // namespace pdf::run
