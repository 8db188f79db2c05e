// Numbers as PDF content streams, dictionaries and answers write them: plain decimal with no
// exponent (PDF has none), rounded to a few places, and bounded: readers take integers of 32
// bits, and a number of 24 digits, which a vanishing box scaled up gives, makes a content
// stream that checkers refuse. Pure functions.
#pragma once

#include <string>
#include <string_view>

namespace pdf::text {

// The largest magnitude a number written into content may have.
constexpr double kMaxContentNumber = 1e9;

// `value` rounded to `decimals` places (0 to 6, halves away from zero) without trailing zeros
// or a trailing point: 612, 595.28, -0.5. "-0" is written as 0, and so is a value that is
// infinite or not a number; a value beyond kMaxContentNumber is written as that bound.
std::string PdfNumber(double value, int decimals = 4);

// Whether every number in the content `content` (a token starting with a digit, a sign or a
// point, outside strings and comments) is finite and at most kMaxContentNumber in magnitude.
bool ContentNumbersBounded(std::string_view content);

}  // namespace pdf::text
