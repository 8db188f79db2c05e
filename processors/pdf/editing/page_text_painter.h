// Lines of text drawn onto the pages of a qpdf document in Helvetica, with a colour and an
// opacity (an ExtGState), over or under the page's own content. The font is the standard
// one readers have, in WinAnsi encoding, so text extraction finds the line. Text over a page
// is drawn in a graphics state the page cannot have changed (page_isolation.h), and sets
// every text and graphics parameter it depends on itself. A painter borrows the document and
// the decoding budget, which must outlive it; use it from one thread.
#pragma once

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <string>

#include "processors/pdf/document/decode_limit.h"
#include "processors/pdf/document/pdfa_claim.h"
#include "processors/pdf/editing/page_isolation.h"
#include "processors/pdf/text/text_line_layout.h"

namespace pdf::editing {

// The largest font size the operations accept, in points.
constexpr long long kMaxFontSize = 1000;

struct TextStyle {
  double fontSize = 12;
  double angle = 0;    // degrees, anticlockwise
  double opacity = 1;  // 0 to 1
  text::Rgb color;
  text::TextPosition position = text::TextPosition::kCenter;
  double margin = 36;  // points from the shown edges, for corners and sides
  bool under = false;  // beneath the page's content rather than over it
};

// What text painted in `style` adds that the PDF/A level `claim` does not allow: a font that
// is not embedded, and for PDF/A-1 text that is see-through.
std::string PdfaLossOfText(const TextStyle& style, const document::PdfaClaim& claim);

class PageTextPainter {
 public:
  // Makes the font and graphics state objects `pdf` (the file `label`) will share among its
  // pages; the pages' own content is decoded within `decoding` to isolate it.
  PageTextPainter(QPDF& pdf, const TextStyle& style, document::DecodeBudget& decoding,
                  const std::string& label);

  // Draws `text` (UTF-8; `winAnsi` is the same text in WinAnsi encoding) on `page` (page
  // `number` of the file `label`). The line is marked with its text as the "actual text", so
  // that extraction finds it whole even where it runs at an angle. Throws PdfError
  // naming the file and page when the page's box is unusable (not finite or beyond 1,000,000
  // points) or its objects cannot be changed, and as PageIsolation::DrawOver does.
  void Draw(QPDFPageObjectHelper& page, int number, const std::string& text,
            const std::string& winAnsi, const std::string& label);

 private:
  QPDF& pdf_;
  TextStyle style_;
  PageIsolation isolation_;
  QPDFObjectHandle font_;
  QPDFObjectHandle state_;
};

}  // namespace pdf::editing
