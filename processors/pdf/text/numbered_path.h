// Output patterns of the operations that write several files: a path holding "%d" once,
// which becomes a number per file. Pure functions.
#pragma once

#include <string>

namespace pdf::text {

// Throws PdfError naming `parameter` unless `pattern` holds "%d" exactly once and no other
// "%".
void CheckNumberedPattern(const std::string& pattern, const std::string& parameter);

// `pattern` with its "%d" replaced by `number` in plain decimal. The pattern must have
// passed CheckNumberedPattern.
std::string NumberedPath(const std::string& pattern, int number);

}  // namespace pdf::text
