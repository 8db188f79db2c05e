#include "processors/pdf/text/answer_text.h"

#include <cstdio>

#include "processors/pdf/text/utf8.h"

namespace pdf::text {

namespace {

const char* const kReplacement = "\xEF\xBF\xBD";

bool IsNoncharacter(char32_t c) {
  return (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE;
}

std::string CodePoint(char32_t c) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
  return text;
}

}  // namespace

std::string XmlSafeText(std::string text) {
  for (char& c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 && c != '\t' && c != '\n' && c != '\r')
      c = ' ';
  }
  return text;
}

bool IsXmlCharacter(char32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
         (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

std::optional<std::string> XmlUnfitReason(const std::string& text) {
  for (std::size_t at = 0; at < text.size();) {
    std::size_t start = at;
    std::optional<char32_t> c = NextCharacter(text, at);
    if (!c)
      return "holds invalid UTF-8 at byte " + std::to_string(start + 1);
    if (!IsXmlCharacter(*c))
      return "holds " + CodePoint(*c) + ", which XML cannot carry";
    if (IsNoncharacter(*c))
      return "holds " + CodePoint(*c) + ", which is no character";
  }
  return std::nullopt;
}

std::optional<std::string> XmlCharactersReplaced(const std::string& text) {
  std::string result;
  bool replaced = false;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t start = at;
    std::optional<char32_t> c = NextCharacter(text, at);
    if (c && IsXmlCharacter(*c)) {
      result.append(text, start, at - start);
    } else {
      result += kReplacement;
      replaced = true;
    }
  }
  if (!replaced)
    return std::nullopt;
  return result;
}

}  // namespace pdf::text
