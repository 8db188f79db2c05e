#include "processors/pdf/text/pdf_number.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace pdf::text {

std::string PdfNumber(double value, int decimals) {
  decimals = std::clamp(decimals, 0, 6);
  double scale = std::pow(10.0, decimals);
  double rounded = std::round(value * scale) / scale;
  if (!std::isfinite(rounded))
    return "0";
  rounded = std::clamp(rounded, -kMaxContentNumber, kMaxContentNumber);
  char text[400];
  std::snprintf(text, sizeof text, "%.*f", decimals, rounded);
  std::string result = text;
  if (result.find('.') != std::string::npos) {
    result.erase(result.find_last_not_of('0') + 1);
    if (result.back() == '.')
      result.pop_back();
  }
  return result == "-0" ? "0" : result;
}

bool ContentNumbersBounded(std::string_view content) {
  auto delimits = [](char c) {
    return std::string_view(" \t\n\r\f\0()<>[]{}/%", 16).find(c) != std::string_view::npos;
  };
  std::size_t at = 0;
  while (at < content.size()) {
    char c = content[at];
    if (c == '%') {
      while (at < content.size() && content[at] != '\n' && content[at] != '\r')
        ++at;
    } else if (c == '(') {
      // Strings hold text, not numbers; nesting and escapes as the lexer reads them.
      int depth = 0;
      for (; at < content.size(); ++at) {
        if (content[at] == '\\')
          ++at;
        else if (content[at] == '(')
          ++depth;
        else if (content[at] == ')' && --depth == 0)
          break;
      }
      ++at;
    } else if (delimits(c)) {
      ++at;
    } else {
      std::size_t start = at;
      while (at < content.size() && !delimits(content[at]))
        ++at;
      std::string token(content.substr(start, at - start));
      char first = token.front();
      if ((first >= '0' && first <= '9') || first == '+' || first == '-' || first == '.') {
        char* end = nullptr;
        double number = std::strtod(token.c_str(), &end);
        if (!std::isfinite(number) || std::fabs(number) > kMaxContentNumber)
          return false;
      }
    }
  }
  return true;
}

}  // namespace pdf::text
