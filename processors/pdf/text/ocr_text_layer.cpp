#include "processors/pdf/text/ocr_text_layer.h"

#include <cstdio>
#include <optional>

#include "processors/pdf/text/helvetica.h"
#include "processors/pdf/text/pdf_number.h"
#include "processors/pdf/text/utf8.h"

namespace pdf::text {

namespace {

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
  for (std::size_t at = 0; at < utf8.size();) {
    std::optional<char32_t> character = NextCharacter(utf8, at);
    unsigned char code = character ? WinAnsiCode(*character) : 0;
    if (character == U'\uFB01' || character == U'\uFB02')  // the fi and fl ligatures
      result += character == U'\uFB01' ? "fi" : "fl";
    else
      result += code >= 0x20 && code != 0x7F ? static_cast<char>(code) : '?';
  }
  return result;
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
    double advance = HelveticaWidth(text, 1) * height;
    if (text.empty() || width <= 0 || height <= 0 || advance <= 0)
      continue;
    // The baseline sits on the box's lower edge; the box's height is the font size.
    content +=
        fontName + " " + PdfNumber(height, 3) + " Tf " + PdfNumber(100.0 * width / advance, 3) +
        " Tz 1 0 0 1 " + PdfNumber(word.left * scale, 3) + " " +
        PdfNumber(displayedHeight - word.bottom * scale, 3) + " Tm " + Literal(text) + " Tj\n";
  }
  if (content.empty())
    return content;
  std::array<double, 6> m = DisplayToPage(page);
  std::string matrix;
  for (double value : m)
    matrix += PdfNumber(value, 3) + " ";
  return "q\n" + matrix + "cm\nBT\n3 Tr\n" + content + "ET\nQ\n";
}

}  // namespace pdf::text
