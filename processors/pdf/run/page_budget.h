// PageBudget: the pages one run may read and write (VTPS_PDF_MAX_PAGES, default 10,000),
// so that a job cannot make a processor work through an unbounded document. Each opened
// input charges its page count to the read budget; each written document charges its pages
// to the write budget. One object per run, used from one thread.
#pragma once

#include <optional>
#include <string>

namespace pdf::run {

constexpr long long kDefaultMaxPages = 10000;

// The page limit set by VTPS_PDF_MAX_PAGES's `value`: the default when unset or empty.
// Throws PdfError naming the variable unless the value is a whole number from 1 to 10^9.
long long MaxPagesSetting(const std::optional<std::string>& value);

class PageBudget {
 public:
  explicit PageBudget(long long maxPages) : maxPages_(maxPages) {}

  // Charges the `pages` of the input `label`. Throws PdfError naming the file and the
  // variable when the pages read in this run would exceed the limit.
  void Read(long long pages, const std::string& label);
  // Charges `pages` written to the output `label`; throws PdfError likewise.
  void Write(long long pages, const std::string& label);

  long long MaxPages() const { return maxPages_; }
  // The pages this run may still read, and write.
  long long ReadRemaining() const { return maxPages_ - read_; }
  long long WriteRemaining() const { return maxPages_ - written_; }

 private:
  long long maxPages_;
  long long read_ = 0;
  long long written_ = 0;
};

}  // namespace pdf::run
