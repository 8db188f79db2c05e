// The text of page numbers: a pattern such as "Page {n} of {total}", where {n} is the page's
// number and {total} the last number given. Pure functions of their arguments.
#pragma once

#include <string>

namespace pdf::text {

// The longest pattern accepted, in bytes.
constexpr std::size_t kMaxPageNumberPattern = 200;

// Throws PdfError naming `parameter` when `pattern` is empty, longer than
// kMaxPageNumberPattern, or holds a "{" that does not start "{n}" or "{total}", or a "}"
// that does not end one.
void CheckPageNumberPattern(const std::string& pattern, const std::string& parameter);

// `pattern` (checked) with {n} replaced by `number` and {total} by `total`.
std::string PageNumberText(const std::string& pattern, long long number, long long total);

}  // namespace pdf::text
