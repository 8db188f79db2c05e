#include "processors/pdf/text/utf8.h"

namespace pdf::text {

std::optional<char32_t> NextCharacter(const std::string& text, std::size_t& at) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(at++);
  if (lead < 0x80)
    return lead;
  int extra = lead >= 0xF0 && lead <= 0xF4  ? 3
              : lead >= 0xE0 && lead < 0xF0 ? 2
              : lead >= 0xC2 && lead < 0xE0 ? 1
                                            : -1;
  if (extra < 0)
    return std::nullopt;
  std::size_t start = at;
  char32_t code = lead & (0x3F >> extra);
  for (int i = 0; i < extra; ++i) {
    if (at >= text.size() || (byte(at) & 0xC0) != 0x80) {
      at = start;
      return std::nullopt;
    }
    code = code << 6 | (byte(at++) & 0x3F);
  }
  // Longer than needed, a surrogate (which only UTF-16 may hold), or beyond Unicode.
  if ((extra == 2 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
      (extra == 3 && (code < 0x10000 || code > 0x10FFFF))) {
    at = start;
    return std::nullopt;
  }
  return code;
}

void AppendUtf8(std::string& out, char32_t character) {
  if (character < 0x80) {
    out += static_cast<char>(character);
  } else if (character < 0x800) {
    out += static_cast<char>(0xC0 | (character >> 6));
    out += static_cast<char>(0x80 | (character & 0x3F));
  } else if (character < 0x10000) {
    out += static_cast<char>(0xE0 | (character >> 12));
    out += static_cast<char>(0x80 | ((character >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (character & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (character >> 18));
    out += static_cast<char>(0x80 | ((character >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((character >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (character & 0x3F));
  }
}

}  // namespace pdf::text
