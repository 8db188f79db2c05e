#include "platform/kqtypes/kq_string.h"

#include <cstdarg>
#include <cstdio>
#include <ostream>

#include "platform/kqtypes/kq_exception.h"

namespace {

void AppendUtf8(std::string& out, char32_t code) {
  if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
    code = 0xFFFD;
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

std::string WideToUtf8(const wchar_t* text) {
  std::string out;
  for (const wchar_t* p = text; *p != L'\0'; ++p) {
    char32_t unit = static_cast<char32_t>(*p);
    if constexpr (sizeof(wchar_t) == 2) {
      if (unit >= 0xD800 && unit <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
        char32_t low = static_cast<char32_t>(*++p);
        unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
      }
    }
    AppendUtf8(out, unit);
  }
  return out;
}

}  // namespace

KQ_TString::KQ_TString(const char* text, int length) {
  if (text == nullptr)
    return;
  if (length < 0) {
    text_ = text;
  } else {
    text_.assign(text, static_cast<std::size_t>(length));
  }
}

KQ_TString::KQ_TString(const wchar_t* text) {
  if (text != nullptr)
    text_ = WideToUtf8(text);
}

KQ_TString& KQ_TString::operator=(const char* text) {
  text_ = text == nullptr ? "" : text;
  return *this;
}

KQ_TString& KQ_TString::operator+=(const KQ_TString& other) {
  text_ += other.text_;
  return *this;
}

int KQ_TString::Find(const char* part, int start) const {
  if (part == nullptr || start < 0 || static_cast<std::size_t>(start) > text_.size())
    return -1;
  std::size_t found = text_.find(part, static_cast<std::size_t>(start));
  return found == std::string::npos ? -1 : static_cast<int>(found);
}

KQ_TString KQ_TString::Format(const char* format, ...) {
  if (format == nullptr)
    throw KQ_EException("KQ_TString::Format needs a format");
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (length < 0) {
    va_end(again);
    throw KQ_EException(KQ_TString("invalid format: ") + format);
  }
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  std::vsnprintf(text.data(), text.size(), format, again);
  va_end(again);
  text.resize(static_cast<std::size_t>(length));
  return KQ_TString(std::move(text));
}

void KQ_TString::KQ_Pack(KQ_IPacking& out) const {
  out.PackText(text_);
}

void KQ_TString::KQ_Unpack(KQ_IUnpacking& in) {
  text_ = in.UnpackText();
}

bool KQ_TString::SameContent(const KQ_TString& other) const {
  return other.text_ == text_;
}

void KQ_TString::PrintOn(std::ostream& out) const {
  out << text_;
}
