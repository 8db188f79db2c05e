#include "processors/pdf/text/helvetica.h"

namespace pdf::text {

namespace {

// Helvetica's advance widths (thousandths of the font size) for the WinAnsi codes 32 to 255,
// from the font's published metrics; 0 where WinAnsi assigns no character.
const short kHelveticaWidths[224] = {
    278,  278, 355, 556, 556,  889, 667, 191, 333, 333, 389, 584,  278, 333,  278,  278,  556, 556,
    556,  556, 556, 556, 556,  556, 556, 556, 278, 278, 584, 584,  584, 556,  1015, 667,  667, 722,
    722,  667, 611, 778, 722,  278, 500, 667, 556, 833, 722, 778,  667, 778,  722,  667,  611, 722,
    667,  944, 667, 667, 611,  278, 278, 278, 469, 556, 333, 556,  556, 500,  556,  556,  278, 556,
    556,  222, 222, 500, 222,  833, 556, 556, 556, 556, 333, 500,  278, 556,  500,  722,  500, 500,
    500,  334, 260, 334, 584,  0,   556, 0,   222, 556, 333, 1000, 556, 556,  333,  1000, 667, 333,
    1000, 0,   611, 0,   0,    222, 222, 333, 333, 350, 556, 1000, 333, 1000, 500,  333,  944, 0,
    500,  667, 278, 333, 556,  556, 556, 556, 260, 556, 333, 737,  370, 556,  584,  333,  737, 333,
    400,  584, 333, 333, 333,  556, 537, 278, 333, 333, 365, 556,  834, 834,  834,  611,  667, 667,
    667,  667, 667, 667, 1000, 722, 667, 667, 667, 667, 278, 278,  278, 278,  722,  722,  778, 778,
    778,  778, 778, 584, 778,  722, 722, 722, 722, 667, 667, 611,  556, 556,  556,  556,  556, 556,
    889,  500, 556, 556, 556,  556, 278, 278, 278, 278, 556, 556,  556, 556,  556,  556,  556, 584,
    611,  556, 556, 556, 556,  500, 556, 500,
};

// The characters of WinAnsi's 0x80 to 0x9F range, by code: their Unicode code points.
const char32_t kWinAnsiHigh[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                   0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                   0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                   0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

}  // namespace

unsigned char WinAnsiCode(char32_t character) {
  if (character < 0x80 || (character >= 0xA0 && character <= 0xFF))
    return static_cast<unsigned char>(character);
  for (int i = 0; i < 32; ++i)
    if (kWinAnsiHigh[i] == character)
      return static_cast<unsigned char>(0x80 + i);
  return 0;
}

double HelveticaWidth(const std::string& winAnsi, double fontSize) {
  double units = 0;
  for (unsigned char c : winAnsi)
    units += c >= 32 ? kHelveticaWidths[c - 32] : 0;
  return units * fontSize / 1000;
}

bool HelveticaHasGlyph(unsigned char code) {
  return code >= 32 && kHelveticaWidths[code - 32] != 0;
}

}  // namespace pdf::text
