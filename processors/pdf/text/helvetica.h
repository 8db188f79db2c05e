// Text in Helvetica, the standard font every PDF reader has (so no font file is embedded):
// characters in the WinAnsi encoding the font is set in, and the width of WinAnsi text from
// the font's published metrics. Pure functions.
#pragma once

#include <string>

namespace pdf::text {

// The WinAnsi code of `character` (Latin-1 from U+0020, and the typographic signs WinAnsi
// puts at 0x80 to 0x9F, such as the euro sign and curly quotes), or 0 when it has none.
// Control characters other than those are given as they are.
unsigned char WinAnsiCode(char32_t character);

// The advance of the WinAnsi `text` in Helvetica at `fontSize`, in points; a code the font
// has no glyph for counts 0.
double HelveticaWidth(const std::string& winAnsi, double fontSize);

// Whether Helvetica has a glyph for the WinAnsi code `code`.
bool HelveticaHasGlyph(unsigned char code);

}  // namespace pdf::text
