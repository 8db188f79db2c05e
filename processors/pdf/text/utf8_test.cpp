#include "processors/pdf/text/utf8.h"

#include <gtest/gtest.h>

namespace pdf::text {

namespace {

TEST(Utf8, NextCharacterDecodesShortestFormsAndRefusesTheRest) {
  struct Case {
    const char* bytes;
    long long expected;  // -1: refused
    std::size_t next;    // where the next character starts
  };
  const Case cases[] = {
      {"A", 'A', 1},
      {"\xC3\xA9", 0xE9, 2},
      {"\xE2\x82\xAC", 0x20AC, 3},
      {"\xF0\x9F\x98\x80", 0x1F600, 4},
      {"\xC0\xAF", -1, 1},          // overlong "/"
      {"\xE0\x80\xAF", -1, 1},      // overlong again
      {"\xED\xA0\x80", -1, 1},      // a surrogate
      {"\xF4\x90\x80\x80", -1, 1},  // beyond U+10FFFF
      {"\xFF", -1, 1},
      {"\xE2\x82", -1, 1},  // cut short
      {"\xC3(", -1, 1},
  };
  for (const Case& c : cases) {
    std::string text = c.bytes;
    std::size_t at = 0;
    std::optional<char32_t> character = NextCharacter(text, at);
    EXPECT_EQ(character ? static_cast<long long>(*character) : -1, c.expected) << c.bytes;
    EXPECT_EQ(at, c.next) << c.bytes;
  }
}

TEST(Utf8, AppendedCharactersReadBack) {
  for (char32_t c :
       {U'\0', U'A', U'\u00E9', U'\u07FF', U'\u0800', U'\uFFFD', U'\U00010000', U'\U0010FFFF'}) {
    std::string text;
    AppendUtf8(text, c);
    std::size_t at = 0;
    EXPECT_EQ(NextCharacter(text, at), c) << static_cast<unsigned long>(c);
    EXPECT_EQ(at, text.size());
  }
}

}  // namespace

}  // namespace pdf::text
