// EqualsIgnoringCase, how URL schemes and host names are compared: the same text but for the
// case of letters. A pure function, safe to call from any thread.
#pragma once

#include <string_view>

namespace kq_text {

// Whether `a` and `b` have the same length and the same characters after std::tolower.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace kq_text
