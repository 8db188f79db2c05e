#include "processors/pdf/office/engine_message.h"

#include <cctype>

namespace pdf::office {
namespace {

// "%" and the line ends are written as %XX; everything else as it is.
std::string Escape(const std::string& value) {
  static const char* kHex = "0123456789ABCDEF";
  std::string escaped;
  for (unsigned char c : value) {
    if (c == '%' || c == '\n' || c == '\r' || c == '\0') {
      escaped += '%';
      escaped += kHex[c >> 4];
      escaped += kHex[c & 15];
    } else {
      escaped += static_cast<char>(c);
    }
  }
  return escaped;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

std::optional<std::string> Unescape(const std::string& text) {
  std::string value;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      value += text[i];
      continue;
    }
    if (i + 2 >= text.size())
      return std::nullopt;
    int high = HexValue(text[i + 1]);
    int low = HexValue(text[i + 2]);
    if (high < 0 || low < 0)
      return std::nullopt;
    value += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return value;
}

bool ValidKey(const std::string& key) {
  if (key.empty())
    return false;
  for (unsigned char c : key) {
    if (!std::isalnum(c) && c != '-')
      return false;
  }
  return true;
}

}  // namespace

void EngineMessage::Add(std::string key, std::string value) {
  items_.emplace_back(std::move(key), std::move(value));
}

std::optional<std::string> EngineMessage::Get(const std::string& key) const {
  for (const auto& [name, value] : items_) {
    if (name == key)
      return value;
  }
  return std::nullopt;
}

std::vector<std::string> EngineMessage::All(const std::string& key) const {
  std::vector<std::string> values;
  for (const auto& [name, value] : items_) {
    if (name == key)
      values.push_back(value);
  }
  return values;
}

std::string EngineMessage::Encode() const {
  std::string text = std::string(kMessageMagic) + "\n";
  for (const auto& [key, value] : items_)
    text += key + "=" + Escape(value) + "\n";
  return text;
}

std::optional<EngineMessage> EngineMessage::Decode(const std::string& text) {
  std::string magic = std::string(kMessageMagic) + "\n";
  if (text.compare(0, magic.size(), magic) != 0)
    return std::nullopt;
  EngineMessage message;
  std::size_t start = magic.size();
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos)
      return std::nullopt;
    std::string line = text.substr(start, end - start);
    start = end + 1;
    std::size_t equals = line.find('=');
    if (equals == std::string::npos || !ValidKey(line.substr(0, equals)))
      return std::nullopt;
    std::optional<std::string> value = Unescape(line.substr(equals + 1));
    if (!value)
      return std::nullopt;
    message.Add(line.substr(0, equals), std::move(*value));
  }
  return message;
}

}  // namespace pdf::office
