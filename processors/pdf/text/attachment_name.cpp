#include "processors/pdf/text/attachment_name.h"

namespace pdf::text {

namespace {

// The length of the valid UTF-8 character at `at`, or 0 when the bytes there are none
// (overlong forms, surrogates and values past U+10FFFF included).
std::size_t Utf8Length(const std::string& text, std::size_t at) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char first = byte(at);
  if (first < 0x80)
    return 1;
  std::size_t length = first >= 0xf0 ? 4 : first >= 0xe0 ? 3 : first >= 0xc2 ? 2 : 0;
  if (length == 0 || first > 0xf4 || at + length > text.size())
    return 0;
  for (std::size_t i = 1; i < length; ++i)
    if ((byte(at + i) & 0xc0) != 0x80)
      return 0;
  unsigned char second = byte(at + 1);
  if ((first == 0xe0 && second < 0xa0) || (first == 0xed && second >= 0xa0) ||
      (first == 0xf0 && second < 0x90) || (first == 0xf4 && second >= 0x90))
    return 0;
  return length;
}

}  // namespace

std::string SafeFileName(const std::string& name) {
  std::size_t cut = name.find_last_of("/\\");
  std::string base = cut == std::string::npos ? name : name.substr(cut + 1);
  std::string result;
  for (std::size_t at = 0; at < base.size();) {
    std::size_t length = Utf8Length(base, at);
    unsigned char c = static_cast<unsigned char>(base[at]);
    // C1 control characters (U+0080 to U+009F) are two bytes starting with 0xC2.
    bool control = c < 0x20 || c == 0x7f ||
                   (length == 2 && c == 0xc2 && static_cast<unsigned char>(base[at + 1]) < 0xa0);
    if (length == 0 || control || c == ':') {
      result += '_';
      at += length == 0 ? 1 : length;
      continue;
    }
    if (result.size() + length > kMaxAttachmentFileName)
      break;
    result.append(base, at, length);
    at += length;
  }
  if (!result.empty() && result.front() == '.')
    result.front() = '_';
  if (result.size() > kMaxAttachmentFileName)
    result.resize(kMaxAttachmentFileName);
  return result.empty() ? "attachment" : result;
}

std::string NumberedFileName(const std::string& safeName, int number) {
  std::size_t dot = safeName.rfind('.');
  std::string stem = dot == std::string::npos || dot == 0 ? safeName : safeName.substr(0, dot);
  std::string extension = stem.size() == safeName.size() ? "" : safeName.substr(stem.size());
  std::string suffix = " (" + std::to_string(number) + ")";
  // Room for the number within the longest name; the stem is cut on a character boundary.
  std::size_t room =
      kMaxAttachmentFileName - suffix.size() - std::min<std::size_t>(extension.size(), 20);
  if (extension.size() > 20)
    extension.clear();
  if (stem.size() > room) {
    stem.resize(room);
    while (!stem.empty() && (static_cast<unsigned char>(stem.back()) & 0xc0) == 0x80)
      stem.pop_back();
    if (!stem.empty() && static_cast<unsigned char>(stem.back()) >= 0xc0)
      stem.pop_back();
  }
  return stem + suffix + extension;
}

std::string AttachmentNames::Next(const std::string& name) {
  std::string safe = SafeFileName(name);
  std::string candidate = safe;
  auto next = nextNumber_.try_emplace(safe, 2).first;
  if (given_.count(candidate) > 0 || taken_(candidate)) {
    do
      candidate = NumberedFileName(safe, next->second++);
    while (given_.count(candidate) > 0 || taken_(candidate));
  }
  given_.insert(candidate);
  return candidate;
}

}  // namespace pdf::text
