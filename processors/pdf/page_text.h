// Lines of text drawn onto the pages of a qpdf document in Helvetica, with a colour and an
// opacity (an ExtGState), over or under the page's own content. The font is the standard
// one readers have, in WinAnsi encoding, so text extraction finds the line. A painter borrows
// the document, which must outlive it; use it from one thread.
#pragma once

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <string>

#include "processors/pdf/text_layout.h"

struct TextStyle {
  double fontSize = 12;
  double angle = 0;    // degrees, anticlockwise
  double opacity = 1;  // 0 to 1
  Rgb color;
  TextPosition position = TextPosition::kCenter;
  double margin = 36;  // points from the shown edges, for corners and sides
  bool under = false;  // beneath the page's content rather than over it
};

class PageTextPainter {
 public:
  // Makes the font and graphics state objects `pdf` will share among its pages.
  PageTextPainter(QPDF& pdf, const TextStyle& style);

  // Draws `text` (UTF-8; `winAnsi` is the same text in WinAnsi encoding) on `page` (page
  // `number` of the file `label`). The line is marked with its text as the "actual text", so
  // that extraction finds it whole even where it runs at an angle. Throws PdfError
  // naming the file and page when the page's box is unusable (not finite or beyond 1,000,000
  // points) or its objects cannot be changed.
  void Draw(QPDFPageObjectHelper& page, int number, const std::string& text,
            const std::string& winAnsi, const std::string& label);

 private:
  QPDF& pdf_;
  TextStyle style_;
  QPDFObjectHandle font_;
  QPDFObjectHandle state_;
};
