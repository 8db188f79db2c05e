#include "processors/pdf/text/page_ranges.h"

#include <cctype>
#include <numeric>
#include <set>
#include <stdexcept>

#include "processors/pdf/text/pdf_error.h"

namespace pdf::text {

namespace {

// A number as written, before "r" and range checks; larger ones are held at this value,
// which is outside every document.
constexpr long long kNumberCap = 1'000'000'000'000LL;

struct Term {
  long long page;  // 1-based, or outside 1..pageCount when the text names no page
  bool afterDash;  // the end of a range whose start is the previous term
};

// The terms of `text` and the start and step that ":odd" / ":even" give. Throws
// std::runtime_error saying what is wrong and where.
std::vector<Term> Tokenize(const std::string& text, long long pageCount, std::size_t& start,
                           std::size_t& step) {
  enum class State { kTop, kInNumber, kAfterNumber } state = State::kTop;
  std::vector<Term> terms;
  long long number = 0;
  bool fromEnd = false;
  bool afterDash = false;
  bool lastSeparatorWasDash = false;
  std::size_t at = 0;
  auto fail = [&](const std::string& what) {
    throw std::runtime_error("at character " + std::to_string(at + 1) + ": " + what);
  };
  auto push = [&]() {
    long long page = number;
    if (fromEnd)
      page = page > pageCount ? 0 : pageCount + 1 - page;
    terms.push_back({page, afterDash});
    number = 0;
    fromEnd = false;
  };
  for (; at < text.size() && text[at] != ':'; ++at) {
    char c = text[at];
    if (std::isdigit(static_cast<unsigned char>(c))) {
      if (state == State::kAfterNumber)
        fail("digit not expected");
      state = State::kInNumber;
      number = std::min(kNumberCap, number * 10 + (c - '0'));
    } else if (c == 'z') {
      if (state != State::kTop)
        fail("z not expected");
      state = State::kAfterNumber;
      number = pageCount;
    } else if (c == 'r') {
      if (state != State::kTop)
        fail("r not expected");
      state = State::kInNumber;
      fromEnd = true;
    } else if (c == ',' || c == '-') {
      if (state == State::kTop)
        fail("unexpected separator");
      push();
      state = State::kTop;
      if (c == '-' && lastSeparatorWasDash)
        fail("unexpected dash");
      lastSeparatorWasDash = c == '-';
      afterDash = c == '-';
    } else {
      fail("unexpected character");
    }
  }
  if (at < text.size() && state == State::kTop)
    fail("unexpected colon");
  if (state == State::kTop)
    fail("number expected");
  push();
  start = 0;
  step = 1;
  if (at < text.size()) {
    std::string modifier = text.substr(at);
    if (modifier == ":odd") {
      step = 2;
    } else if (modifier == ":even") {
      step = 2;
      start = 1;
    } else {
      fail("unexpected even/odd modifier");
    }
  }
  for (const Term& term : terms)
    if (term.page < 1 || term.page > pageCount)
      throw std::runtime_error("number " + std::to_string(term.page) + " out of range");
  return terms;
}

}  // namespace

std::vector<int> ParsePageRanges(const std::string& text, int pageCount,
                                 const std::string& parameter, long long maxSelected) {
  std::string where = "parameter \"" + parameter + "\"";
  if (pageCount <= 0)
    throw PdfError(where + ": the document has no pages");
  std::vector<Term> terms;
  std::size_t start = 0;
  std::size_t step = 1;
  try {
    terms = Tokenize(text, pageCount, start, step);
  } catch (const std::exception& e) {
    throw PdfError(where + ": \"" + text + "\" is not a page range of a document with " +
                   std::to_string(pageCount) + (pageCount == 1 ? " page (" : " pages (") +
                   e.what() + ")");
  }
  // The length of the list before ":odd" / ":even", counted before any of it is built.
  long long listed = 0;
  for (std::size_t i = 0; i < terms.size(); ++i) {
    long long added = terms[i].afterDash && i > 0 ? std::max(terms[i].page, terms[i - 1].page) -
                                                        std::min(terms[i].page, terms[i - 1].page)
                                                  : 1;
    listed += added;
    if (listed > 2 * maxSelected + 1)
      break;
  }
  long long selected =
      listed > static_cast<long long>(start)
          ? (listed - static_cast<long long>(start) + static_cast<long long>(step) - 1) /
                static_cast<long long>(step)
          : 0;
  if (selected > maxSelected)
    throw PdfError(where + ": \"" + (text.size() > 64 ? text.substr(0, 64) + "..." : text) +
                   "\" selects more than " + std::to_string(maxSelected) +
                   " pages, the most this run may handle (VTPS_PDF_MAX_PAGES)");
  // ":even" of a single page leaves nothing, and a document without pages is no output.
  if (selected == 0)
    throw PdfError(where + ": \"" + text + "\" selects no page");

  std::vector<int> pages;
  pages.reserve(static_cast<std::size_t>(listed));
  for (std::size_t i = 0; i < terms.size(); ++i) {
    int page = static_cast<int>(terms[i].page);
    if (!terms[i].afterDash || i == 0) {
      pages.push_back(page);
      continue;
    }
    int last = static_cast<int>(terms[i - 1].page);
    for (int p = last < page ? last + 1 : last - 1; last < page ? p <= page : p >= page;
         p += last < page ? 1 : -1)
      pages.push_back(p);
  }
  if (start == 0 && step == 1)
    return pages;
  std::vector<int> kept;
  for (std::size_t i = start; i < pages.size(); i += step)
    kept.push_back(pages[i]);
  return kept;
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

}  // namespace pdf::text
