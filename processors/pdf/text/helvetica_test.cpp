#include "processors/pdf/text/helvetica.h"

#include <gtest/gtest.h>
#include <qpdf/QUtil.hh>

#include "processors/pdf/text/utf8.h"

namespace pdf::text {

namespace {

std::string Utf8(char32_t c) {
  std::string out;
  AppendUtf8(out, c);
  return out;
}

// qpdf's own converter is the reference: every character either both map, to the same code,
// or neither does. The one exception is WinAnsi's 0x98, the small tilde U+02DC, which qpdf
// 11 gives the combining tilde U+0303 instead.
TEST(WinAnsiCode, AgreesWithQpdfOnEveryCharacter) {
  EXPECT_EQ(WinAnsiCode(0x02DC), 0x98);
  EXPECT_EQ(WinAnsiCode(0x0303), 0);
  for (char32_t c = 0x20; c <= 0x10FFFF; ++c) {
    if ((c >= 0xD800 && c <= 0xDFFF) || c == 0x02DC || c == 0x0303)
      continue;
    std::string expected;
    bool qpdfMaps = QUtil::utf8_to_win_ansi(Utf8(c), expected, '?');
    unsigned char code = WinAnsiCode(c);
    ASSERT_EQ(code != 0, qpdfMaps) << std::hex << static_cast<unsigned long>(c);
    if (qpdfMaps) {
      ASSERT_EQ(static_cast<unsigned char>(expected.at(0)), code)
          << std::hex << static_cast<unsigned long>(c);
    }
  }
}

}  // namespace

}  // namespace pdf::text
