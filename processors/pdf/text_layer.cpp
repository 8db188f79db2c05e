#include "processors/pdf/text_layer.h"

#include <cstdio>
#include <map>

namespace {

// Helvetica's advance widths for the printable ASCII characters, space to tilde (from its
// font metrics); WinAnsi's other letters are close to the lower-case average.
constexpr int kAsciiWidths[95] = {
    278, 278, 355, 556, 556, 889, 667, 191, 333, 333, 389, 584, 278, 333,  278, 278, 556, 556, 556,
    556, 556, 556, 556, 556, 556, 556, 278, 278, 584, 584, 584, 556, 1015, 667, 667, 722, 722, 667,
    611, 778, 722, 278, 500, 667, 556, 833, 722, 778, 667, 778, 722, 667,  611, 722, 667, 944, 667,
    667, 611, 278, 278, 278, 469, 556, 333, 556, 556, 500, 556, 556, 278,  556, 556, 222, 222, 500,
    222, 833, 556, 556, 556, 556, 333, 500, 278, 556, 500, 722, 500, 500,  500, 334, 260, 334, 584};
constexpr int kOtherWidth = 556;

// The characters of Windows-1252's 0x80 to 0x9F range, by their Unicode code points.
const std::map<char32_t, unsigned char> kWindowsExtras = {
    {0x20AC, 0x80}, {0x201A, 0x82}, {0x0192, 0x83}, {0x201E, 0x84}, {0x2026, 0x85}, {0x2020, 0x86},
    {0x2021, 0x87}, {0x02C6, 0x88}, {0x2030, 0x89}, {0x0160, 0x8A}, {0x2039, 0x8B}, {0x0152, 0x8C},
    {0x017D, 0x8E}, {0x2018, 0x91}, {0x2019, 0x92}, {0x201C, 0x93}, {0x201D, 0x94}, {0x2022, 0x95},
    {0x2013, 0x96}, {0x2014, 0x97}, {0x02DC, 0x98}, {0x2122, 0x99}, {0x0161, 0x9A}, {0x203A, 0x9B},
    {0x0153, 0x9C}, {0x017E, 0x9E}, {0x0178, 0x9F}};

// The next code point of `text` from `at`, which moves past it; 0xFFFD for a bad sequence.
char32_t NextCodePoint(const std::string& text, std::size_t& at) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(at++);
  if (lead < 0x80)
    return lead;
  int extra = lead >= 0xF0 && lead < 0xF8 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : -1;
  if (extra < 0 || lead >= 0xF8)
    return 0xFFFD;
  char32_t code = lead & (0x3F >> extra);
  for (int i = 0; i < extra; ++i) {
    if (at >= text.size() || (byte(at) & 0xC0) != 0x80)
      return 0xFFFD;
    code = code << 6 | (byte(at++) & 0x3F);
  }
  return code;
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", value);
  std::string result = text;
  result.erase(result.find_last_not_of('0') + 1);
  if (result.back() == '.')
    result.pop_back();
  return result == "-0" ? "0" : result;
}

// `winAnsi` as a PDF literal string, bytes above ASCII in octal.
std::string Literal(const std::string& winAnsi) {
  std::string result = "(";
  for (char c : winAnsi) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (c == '(' || c == ')' || c == '\\') {
      result += '\\';
      result += c;
    } else if (byte < 0x20 || byte > 0x7E) {
      char octal[8];
      std::snprintf(octal, sizeof octal, "\\%03o", byte);
      result += octal;
    } else {
      result += c;
    }
  }
  return result + ")";
}

}  // namespace

std::array<double, 6> DisplayToPage(const PageGeometry& page) {
  double width = page.x1 - page.x0;
  switch (page.rotate) {
    case 90:
      return {0, 1, -1, 0, page.x0 + width, page.y0};
    case 180:
      return {-1, 0, 0, -1, page.x1, page.y1};
    case 270:
      return {0, -1, 1, 0, page.x0, page.y1};
    default:
      return {1, 0, 0, 1, page.x0, page.y0};
  }
}

std::string ToWinAnsi(const std::string& utf8) {
  std::string result;
  std::size_t at = 0;
  while (at < utf8.size()) {
    char32_t code = NextCodePoint(utf8, at);
    if ((code >= 0x20 && code <= 0x7E) || (code >= 0xA0 && code <= 0xFF)) {
      result += static_cast<char>(code);
    } else if (code == 0xFB01 || code == 0xFB02) {  // the fi and fl ligatures
      result += code == 0xFB01 ? "fi" : "fl";
    } else {
      auto extra = kWindowsExtras.find(code);
      result += extra != kWindowsExtras.end() ? static_cast<char>(extra->second) : '?';
    }
  }
  return result;
}

double HelveticaWidth(const std::string& winAnsi) {
  double width = 0;
  for (char c : winAnsi) {
    unsigned char byte = static_cast<unsigned char>(c);
    width += byte >= 0x20 && byte <= 0x7E ? kAsciiWidths[byte - 0x20] : kOtherWidth;
  }
  return width;
}

std::string TextLayerContent(const std::vector<OcrWord>& words, double dpi,
                             const PageGeometry& page, const std::string& fontName) {
  double scale = 72.0 / dpi;
  double displayedHeight =
      (page.rotate == 90 || page.rotate == 270) ? page.x1 - page.x0 : page.y1 - page.y0;
  std::string content;
  for (const OcrWord& word : words) {
    std::string text = ToWinAnsi(word.text);
    double width = (word.right - word.left) * scale;
    double height = (word.bottom - word.top) * scale;
    double advance = HelveticaWidth(text) / 1000.0 * height;
    if (text.empty() || width <= 0 || height <= 0 || advance <= 0)
      continue;
    // The baseline sits on the box's lower edge; the box's height is the font size.
    content += fontName + " " + Number(height) + " Tf " + Number(100.0 * width / advance) +
               " Tz 1 0 0 1 " + Number(word.left * scale) + " " +
               Number(displayedHeight - word.bottom * scale) + " Tm " + Literal(text) + " Tj\n";
  }
  if (content.empty())
    return content;
  std::array<double, 6> m = DisplayToPage(page);
  std::string matrix;
  for (double value : m)
    matrix += Number(value) + " ";
  return "q\n" + matrix + "cm\nBT\n3 Tr\n" + content + "ET\nQ\n";
}
