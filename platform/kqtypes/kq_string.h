// KQ_TString, a text value holding UTF-8 bytes.
//
// Comparison, ordering and Find are byte-wise and case-sensitive. The text may hold NUL
// bytes; c_str then ends at the first of them for C callers. A string is a plain value:
// use one from one thread at a time, or share it read-only.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>

#include "platform/kqtypes/kq_object.h"
#include "platform/kqtypes/kq_packing.h"
#include "platform/kqtypes/kq_value_class.h"

class KQ_TString : public KQ_TValueClass<KQ_TString> {
 public:
  static constexpr const char* KQ_ClassName = "KQ_TString";

  KQ_TString() = default;
  // `length` bytes of `text`, or up to its NUL when `length` is -1; null gives "".
  KQ_TString(const char* text, int length = -1);
  KQ_TString(std::string text) : text_(std::move(text)) {}
  KQ_TString(std::string_view text) : text_(text) {}
  // Wide text (UTF-16 on Windows, UTF-32 elsewhere), stored as UTF-8; invalid code units
  // become U+FFFD. Null gives "".
  explicit KQ_TString(const wchar_t* text);
  KQ_TString& operator=(const char* text);

  const char* c_str() const { return text_.c_str(); }
  const std::string& Text() const { return text_; }
  std::size_t Length() const { return text_.size(); }
  bool Empty() const { return text_.empty(); }

  bool operator==(const char* text) const { return text_ == (text == nullptr ? "" : text); }
  bool operator==(const KQ_TString& other) const { return text_ == other.text_; }
  bool operator<(const KQ_TString& other) const { return text_ < other.text_; }

  KQ_TString& operator+=(const KQ_TString& other);
  friend KQ_TString operator+(KQ_TString left, const KQ_TString& right) { return left += right; }

  // The byte index of the first occurrence of `part` at or after `start`, or -1; -1 also for
  // a null `part` or a `start` outside the text.
  int Find(const char* part, int start = 0) const;

  // printf-style formatting; throws KQ_EException on an invalid format.
  static KQ_TString Format(const char* format, ...)
      __attribute__((format(KQ_PRINTF_ARCHETYPE, 1, 2)));

  // The same bytes.
  bool SameContent(const KQ_TString& other) const;
  // KQ_IPackable
  void KQ_Pack(KQ_IPacking& out) const override;
  void KQ_Unpack(KQ_IUnpacking& in) override;
  std::uint8_t KQ_PackTypeID() const override { return kKQ_TagString; }
  // KQ_IPrintable: exactly the text.
  void PrintOn(std::ostream& out) const override;

 private:
  std::string text_;
};
