#include "mapping/xml_names.h"

#include <cstdint>

namespace xml_names {
namespace {

// Decodes the UTF-8 sequence at `text[position]`, advancing `position` past it. Returns
// false for a truncated, overlong or otherwise malformed sequence and for surrogates.
bool DecodeUtf8(std::string_view text, std::size_t& position, char32_t& code) {
  auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
  unsigned char first = byte(position);
  std::size_t length;
  char32_t minimum;
  if (first < 0x80) {
    code = first;
    ++position;
    return true;
  } else if ((first & 0xE0) == 0xC0) {
    length = 2;
    code = first & 0x1F;
    minimum = 0x80;
  } else if ((first & 0xF0) == 0xE0) {
    length = 3;
    code = first & 0x0F;
    minimum = 0x800;
  } else if ((first & 0xF8) == 0xF0) {
    length = 4;
    code = first & 0x07;
    minimum = 0x10000;
  } else {
    return false;
  }
  if (text.size() - position < length)
    return false;
  for (std::size_t i = 1; i < length; ++i) {
    unsigned char next = byte(position + i);
    if ((next & 0xC0) != 0x80)
      return false;
    code = (code << 6) | (next & 0x3F);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
    return false;
  position += length;
  return true;
}

bool IsNameStart(char32_t c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' ||
         (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
         (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) ||
         (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F) ||
         (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
         (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0xEFFFF);
}

bool IsNameChar(char32_t c) {
  return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == 0xB7 ||
         (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

}  // namespace

bool IsTreeMarker(std::string_view name) {
  return name == kAttributesMarker || name == kCommentMarker || name == kTextMarker;
}

bool IsXmlName(std::string_view name) {
  std::size_t position = 0;
  bool first = true;
  while (position < name.size()) {
    // Plain ASCII names are the rule; they skip the decoder.
    unsigned char byte = static_cast<unsigned char>(name[position]);
    char32_t code = byte;
    if (byte < 0x80) {
      ++position;
    } else if (!DecodeUtf8(name, position, code)) {
      return false;
    }
    if (!(first ? IsNameStart(code) : IsNameChar(code)))
      return false;
    first = false;
  }
  return !first;
}

bool IsXmlText(std::string_view text) {
  for (char c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r')
      return false;
  }
  return true;
}

bool IsXmlCommentText(std::string_view text) {
  if (!IsXmlText(text))
    return false;
  if (!text.empty() && text.back() == '-')
    return false;
  return text.find("--") == std::string_view::npos;
}

}  // namespace xml_names
