// Laying out one line of text in Helvetica (one of the standard fonts every PDF reader has,
// so no font file is embedded) on a page: the text in WinAnsi encoding, its width from the
// font's metrics, where it goes (centred or in a corner, turned by an angle, upright as the
// page is shown whatever its /Rotate), and the parameters that describe it. Pure functions
// of their arguments.
#pragma once

#include <string>

namespace pdf::text {

// Where on the page the text goes.
enum class TextPosition {
  kCenter,
  kTopLeft,
  kTopCenter,
  kTopRight,
  kBottomLeft,
  kBottomCenter,
  kBottomRight
};

// The position named `text` ("center", "top-left", "top-center", "top-right", "bottom-left",
// "bottom-center", "bottom-right"). Throws PdfError naming `parameter` for anything else.
TextPosition ParseTextPosition(const std::string& text, const std::string& parameter);

// The UTF-8 `text` in WinAnsi encoding (Latin-1 and the typographic signs WinAnsi adds, such
// as the euro sign and curly quotes). Throws PdfError naming `parameter` when it holds a
// character WinAnsi lacks, a control character, or invalid UTF-8.
std::string WinAnsiText(const std::string& text, const std::string& parameter);

// The red, green and blue parts (0 to 1) of "#rrggbb". Throws PdfError naming `parameter`
// for any other text.
struct Rgb {
  double red = 0;
  double green = 0;
  double blue = 0;
};
Rgb ParseColor(const std::string& text, const std::string& parameter);

// An affine transformation as PDF writes it: x' = a x + c y + e, y' = b x + d y + f.
struct Matrix {
  double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
};

// The text matrix (Tm) that puts a line of `width` points at `fontSize`, turned `angle`
// degrees anticlockwise about its middle, at `position` on a page whose box (crop box, in
// default user space) is `llx lly urx ury` and which is shown turned by `rotate` degrees
// (0, 90, 180 or 270). Corners keep the turned line's bounding box `margin` points from the
// edges, as the page is shown.
struct TextPlacement {
  double width = 0;
  double fontSize = 12;
  double angle = 0;
  TextPosition position = TextPosition::kCenter;
  double margin = 36;
};
Matrix PlaceText(const TextPlacement& text, double llx, double lly, double urx, double ury,
                 int rotate);

}  // namespace pdf::text
