// The invisible text laid over a scanned page so that its words can be found, selected and
// copied: each recognised word is written in Helvetica with text render mode 3 (neither
// filled nor stroked), sized to its box's height and stretched (Tz) to its box's width, at
// the place the word has in the drawn image. Coordinates come from a drawing of the page's
// crop box in its displayed orientation, so the layer is placed through the matrix that
// takes displayed points back to the page's own space. Pure functions.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace pdf::text {

struct OcrWord {
  std::string text;  // UTF-8
  // The word's box in the drawn image, in pixels from its top left corner.
  double left = 0;
  double top = 0;
  double right = 0;
  double bottom = 0;
};

struct PageGeometry {
  // The crop box in the page's own space (points).
  double x0 = 0;
  double y0 = 0;
  double x1 = 0;
  double y1 = 0;
  int rotate = 0;  // 0, 90, 180 or 270, clockwise as displayed
};

// The matrix [a b c d e f] taking a point of the displayed page (points from its lower left
// corner) to the page's own space.
std::array<double, 6> DisplayToPage(const PageGeometry& page);

// `utf8` in the Windows code page Helvetica is set in (WinAnsiEncoding); characters it
// lacks become "?". Invalid UTF-8 bytes become "?" too.
std::string ToWinAnsi(const std::string& utf8);

// The content stream of the text layer for `words` recognised in a drawing of `page` at
// `dpi`, using the font resource `fontName` ("/F1"). Empty when there is no word.
std::string TextLayerContent(const std::vector<OcrWord>& words, double dpi,
                             const PageGeometry& page, const std::string& fontName);

}  // namespace pdf::text
