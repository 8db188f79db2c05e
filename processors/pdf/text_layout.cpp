#include "processors/pdf/text_layout.h"

#include <qpdf/QUtil.hh>

#include <cmath>
#include <cstdio>
#include <numbers>

#include "processors/pdf/pdf_error.h"

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

// Helvetica's cap height and descender, in thousandths of the font size.
constexpr double kCapHeight = 718;
constexpr double kDescender = -207;

struct NamedPosition {
  const char* name;
  TextPosition position;
};
const NamedPosition kPositions[] = {
    {"center", TextPosition::kCenter},
    {"top-left", TextPosition::kTopLeft},
    {"top-center", TextPosition::kTopCenter},
    {"top-right", TextPosition::kTopRight},
    {"bottom-left", TextPosition::kBottomLeft},
    {"bottom-center", TextPosition::kBottomCenter},
    {"bottom-right", TextPosition::kBottomRight},
};

}  // namespace

TextPosition ParseTextPosition(const std::string& text, const std::string& parameter) {
  for (const NamedPosition& named : kPositions)
    if (text == named.name)
      return named.position;
  throw PdfError("parameter \"" + parameter + "\" is \"" + text +
                 "\"; it must be center, top-left, top-center, top-right, bottom-left, "
                 "bottom-center or bottom-right");
}

std::string WinAnsiText(const std::string& text, const std::string& parameter) {
  for (unsigned char c : text)
    if (c < 0x20 || c == 0x7f)
      throw PdfError("parameter \"" + parameter + "\" holds a control character");
  std::string result;
  // qpdf marks a character it cannot map with the substitute and answers false.
  if (!QUtil::utf8_to_win_ansi(text, result, '?')) {
    // Name the first character that cannot be shown, when the text is valid UTF-8.
    for (std::size_t at = 0; at < text.size();) {
      unsigned char lead = static_cast<unsigned char>(text[at]);
      std::size_t length = lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : lead >= 0xc2 ? 2 : 1;
      bool whole = (lead < 0x80 || (lead >= 0xc2 && lead <= 0xf4)) && at + length <= text.size();
      for (std::size_t i = 1; whole && i < length; ++i)
        whole = (static_cast<unsigned char>(text[at + i]) & 0xc0) == 0x80;
      if (!whole)
        break;
      std::string character = text.substr(at, length);
      std::string one;
      if (!QUtil::utf8_to_win_ansi(character, one, '?'))
        throw PdfError("parameter \"" + parameter + "\" holds \"" + character +
                       "\", which the standard font cannot show (only Latin-1 characters and "
                       "the signs of WinAnsi encoding, such as \xe2\x82\xac and \xe2\x80\x9c)");
      at += length;
    }
    throw PdfError("parameter \"" + parameter + "\" is not valid UTF-8");
  }
  for (unsigned char c : result)
    if (c < 0x20 || kHelveticaWidths[c - 32] == 0)
      throw PdfError("parameter \"" + parameter +
                     "\" holds a character the standard font cannot show");
  return result;
}

double HelveticaWidth(const std::string& winAnsi, double fontSize) {
  double units = 0;
  for (unsigned char c : winAnsi)
    units += c >= 32 ? kHelveticaWidths[c - 32] : 0;
  return units * fontSize / 1000;
}

Rgb ParseColor(const std::string& text, const std::string& parameter) {
  auto hex = [](char c) {
    if (c >= '0' && c <= '9')
      return c - '0';
    if (c >= 'a' && c <= 'f')
      return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
      return c - 'A' + 10;
    return -1;
  };
  bool valid = text.size() == 7 && text[0] == '#';
  for (std::size_t i = 1; valid && i < 7; ++i)
    valid = hex(text[i]) >= 0;
  if (!valid)
    throw PdfError("parameter \"" + parameter + "\" is \"" + text +
                   "\"; it must be a colour as #rrggbb (such as #ff0000 for red)");
  auto part = [&](std::size_t at) { return (hex(text[at]) * 16 + hex(text[at + 1])) / 255.0; };
  return {part(1), part(3), part(5)};
}

Matrix PlaceText(const TextPlacement& text, double llx, double lly, double urx, double ury,
                 int rotate) {
  double width = std::fabs(urx - llx);
  double height = std::fabs(ury - lly);
  llx = std::min(llx, urx);
  lly = std::min(lly, ury);
  rotate = ((rotate % 360) + 360) % 360;
  bool sideways = rotate == 90 || rotate == 270;
  // The page as it is shown.
  double shownWidth = sideways ? height : width;
  double shownHeight = sideways ? width : height;

  // The line's box about its middle, turned.
  double radians = text.angle * std::numbers::pi / 180;
  double cosine = std::cos(radians);
  double sine = std::sin(radians);
  double lineHeight = (kCapHeight - kDescender) * text.fontSize / 1000;
  double halfX = std::fabs(text.width / 2 * cosine) + std::fabs(lineHeight / 2 * sine);
  double halfY = std::fabs(text.width / 2 * sine) + std::fabs(lineHeight / 2 * cosine);

  double centerX = shownWidth / 2;
  double centerY = shownHeight / 2;
  switch (text.position) {
    case TextPosition::kTopLeft:
    case TextPosition::kBottomLeft:
      centerX = text.margin + halfX;
      break;
    case TextPosition::kTopRight:
    case TextPosition::kBottomRight:
      centerX = shownWidth - text.margin - halfX;
      break;
    default:
      break;
  }
  switch (text.position) {
    case TextPosition::kTopLeft:
    case TextPosition::kTopCenter:
    case TextPosition::kTopRight:
      centerY = shownHeight - text.margin - halfY;
      break;
    case TextPosition::kBottomLeft:
    case TextPosition::kBottomCenter:
    case TextPosition::kBottomRight:
      centerY = text.margin + halfY;
      break;
    default:
      break;
  }

  // Line space to shown space: about the line's middle, turned, moved to the centre.
  double middleX = text.width / 2;
  double middleY = (kCapHeight + kDescender) / 2 * text.fontSize / 1000;
  Matrix line{cosine,
              sine,
              -sine,
              cosine,
              centerX - (cosine * middleX - sine * middleY),
              centerY - (sine * middleX + cosine * middleY)};

  // Shown space to the page's user space: undoes the turn the viewer applies.
  Matrix shown;
  switch (rotate) {
    case 90:
      shown = {0, 1, -1, 0, llx + width, lly};
      break;
    case 180:
      shown = {-1, 0, 0, -1, llx + width, lly + height};
      break;
    case 270:
      shown = {0, -1, 1, 0, llx, lly + height};
      break;
    default:
      shown = {1, 0, 0, 1, llx, lly};
      break;
  }
  // line first, then shown.
  return {
      line.a * shown.a + line.b * shown.c,           line.a * shown.b + line.b * shown.d,
      line.c * shown.a + line.d * shown.c,           line.c * shown.b + line.d * shown.d,
      line.e * shown.a + line.f * shown.c + shown.e, line.e * shown.b + line.f * shown.d + shown.f};
}

std::string PdfNumber(double value) {
  if (!std::isfinite(value))
    return "0";
  char text[64];
  std::snprintf(text, sizeof text, "%.4f", value);
  std::string result = text;
  while (result.back() == '0')
    result.pop_back();
  if (result.back() == '.')
    result.pop_back();
  return result == "-0" ? "0" : result;
}
