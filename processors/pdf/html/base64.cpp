#include "processors/pdf/html/base64.h"

#include <array>

namespace pdf::html {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int, 256> DecodingTable() {
  std::array<int, 256> table{};
  for (int& value : table)
    value = -1;
  for (int i = 0; i < 64; ++i)
    table[static_cast<unsigned char>(kAlphabet[i])] = i;
  return table;
}
constexpr std::array<int, 256> kDecoding = DecodingTable();

}  // namespace

std::string EncodeBase64(std::string_view bytes) {
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    unsigned value = static_cast<unsigned char>(bytes[i]) << 16 |
                     static_cast<unsigned char>(bytes[i + 1]) << 8 |
                     static_cast<unsigned char>(bytes[i + 2]);
    text += kAlphabet[value >> 18 & 63];
    text += kAlphabet[value >> 12 & 63];
    text += kAlphabet[value >> 6 & 63];
    text += kAlphabet[value & 63];
  }
  std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    unsigned value = static_cast<unsigned char>(bytes[i]) << 16;
    if (rest == 2)
      value |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    text += kAlphabet[value >> 18 & 63];
    text += kAlphabet[value >> 12 & 63];
    text += rest == 2 ? kAlphabet[value >> 6 & 63] : '=';
    text += '=';
  }
  return text;
}

std::optional<std::string> DecodeBase64(std::string_view text) {
  if (text.size() % 4 != 0)
    return std::nullopt;
  std::string bytes;
  bytes.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    bool last = i + 4 == text.size();
    int padding = 0;
    if (last && text[i + 3] == '=')
      padding = text[i + 2] == '=' ? 2 : 1;
    unsigned value = 0;
    for (std::size_t j = 0; j < 4; ++j) {
      if (j >= 4 - static_cast<std::size_t>(padding)) {
        value <<= 6;
        continue;
      }
      int digit = kDecoding[static_cast<unsigned char>(text[i + j])];
      if (digit < 0)
        return std::nullopt;
      value = value << 6 | static_cast<unsigned>(digit);
    }
    bytes += static_cast<char>(value >> 16 & 255);
    if (padding < 2)
      bytes += static_cast<char>(value >> 8 & 255);
    if (padding < 1)
      bytes += static_cast<char>(value & 255);
  }
  return bytes;
}

}  // namespace pdf::html
