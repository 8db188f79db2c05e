#include "processors/pdf/text/text_line_layout.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "processors/pdf/text/helvetica.h"
#include "processors/pdf/text/pdf_error.h"
#include "processors/pdf/text/utf8.h"

namespace pdf::text {

namespace {

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
  for (std::size_t at = 0; at < text.size();) {
    std::size_t start = at;
    std::optional<char32_t> character = NextCharacter(text, at);
    if (!character)
      throw PdfError("parameter \"" + parameter + "\" is not valid UTF-8");
    unsigned char code = WinAnsiCode(*character);
    if (code == 0)
      throw PdfError("parameter \"" + parameter + "\" holds \"" + text.substr(start, at - start) +
                     "\", which the standard font cannot show (only Latin-1 characters and "
                     "the signs of WinAnsi encoding, such as \xe2\x82\xac and \xe2\x80\x9c)");
    result += static_cast<char>(code);
  }
  for (unsigned char c : result)
    if (!HelveticaHasGlyph(c))
      throw PdfError("parameter \"" + parameter +
                     "\" holds a character the standard font cannot show");
  return result;
}

Rgb ParseColor(const std::string& text, const std::string& parameter) {
  unsigned value = 0;
  const char* end = text.data() + text.size();
  bool valid = text.size() == 7 && text[0] == '#';
  if (valid) {
    // from_chars takes hex digits only: no sign, blank or "0x".
    auto [stop, error] = std::from_chars(text.data() + 1, end, value, 16);
    valid = error == std::errc() && stop == end;
  }
  if (!valid)
    throw PdfError("parameter \"" + parameter + "\" is \"" + text +
                   "\"; it must be a colour as #rrggbb (such as #ff0000 for red)");
  return {((value >> 16) & 0xff) / 255.0, ((value >> 8) & 0xff) / 255.0, (value & 0xff) / 255.0};
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

}  // namespace pdf::text
