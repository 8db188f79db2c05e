#include "processors/pdf/text/numbered_path.h"

#include <algorithm>

#include "processors/pdf/text/pdf_error.h"

namespace pdf::text {

void CheckNumberedPattern(const std::string& pattern, const std::string& parameter) {
  std::size_t at = pattern.find("%d");
  if (at == std::string::npos || std::count(pattern.begin(), pattern.end(), '%') != 1)
    throw PdfError("parameter \"" + parameter + "\": \"" + pattern +
                   "\" must hold \"%d\" once (for the number) and no other \"%\"");
}

std::string NumberedPath(const std::string& pattern, int number) {
  std::string path = pattern;
  path.replace(path.find("%d"), 2, std::to_string(number));
  return path;
}

}  // namespace pdf::text
