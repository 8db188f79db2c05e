#include "processors/pdf/text/page_number_pattern.h"

#include "processors/pdf/text/pdf_error.h"

namespace pdf::text {

namespace {

// The length of the placeholder at `at` ("{n}" or "{total}"), or 0.
std::size_t PlaceholderAt(const std::string& pattern, std::size_t at) {
  for (const char* placeholder : {"{n}", "{total}"}) {
    std::string text = placeholder;
    if (pattern.compare(at, text.size(), text) == 0)
      return text.size();
  }
  return 0;
}

}  // namespace

void CheckPageNumberPattern(const std::string& pattern, const std::string& parameter) {
  if (pattern.empty() || pattern.size() > kMaxPageNumberPattern)
    throw PdfError("parameter \"" + parameter + "\" must hold 1 to " +
                   std::to_string(kMaxPageNumberPattern) + " bytes");
  for (std::size_t at = 0; at < pattern.size(); ++at) {
    if (pattern[at] == '{') {
      std::size_t length = PlaceholderAt(pattern, at);
      if (length == 0)
        throw PdfError("parameter \"" + parameter + "\" is \"" + pattern +
                       "\"; it may hold {n} (the page's number) and {total} (the last number), "
                       "and no other \"{\" or \"}\"");
      at += length - 1;
    } else if (pattern[at] == '}') {
      throw PdfError("parameter \"" + parameter + "\" is \"" + pattern +
                     "\"; it may hold {n} (the page's number) and {total} (the last number), "
                     "and no other \"{\" or \"}\"");
    }
  }
}

std::string PageNumberText(const std::string& pattern, long long number, long long total) {
  std::string result;
  for (std::size_t at = 0; at < pattern.size();) {
    std::size_t length = pattern[at] == '{' ? PlaceholderAt(pattern, at) : 0;
    if (length == 3) {
      result += std::to_string(number);
    } else if (length > 0) {
      result += std::to_string(total);
    } else {
      result += pattern[at];
      length = 1;
    }
    at += length;
  }
  return result;
}

}  // namespace pdf::text
