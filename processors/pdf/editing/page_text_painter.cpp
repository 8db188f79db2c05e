#include "processors/pdf/editing/page_text_painter.h"

#include "processors/pdf/document/page_box.h"
#include "processors/pdf/editing/page_resources.h"
#include "processors/pdf/text/helvetica.h"
#include "processors/pdf/text/pdf_error.h"
#include "processors/pdf/text/pdf_number.h"

namespace pdf::editing {

std::string PdfaLossOfText(const TextStyle& style, const document::PdfaClaim& claim) {
  std::string loss = "text in Helvetica, a font it does not embed";
  if (claim.part == 1 && style.opacity < 1)
    loss += ", and see-through text, which PDF/A-1 forbids";
  return loss;
}

PageTextPainter::PageTextPainter(QPDF& pdf, const TextStyle& style,
                                 document::DecodeBudget& decoding, const std::string& label)
    : pdf_(pdf), style_(style), isolation_(pdf, decoding, label) {
  font_ = pdf.makeIndirectObject(QPDFObjectHandle::parse(
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"));
  // Blending and soft masks are set too: a state that only sets the opacity would keep a
  // blend mode or mask the content before it left.
  state_ = pdf.makeIndirectObject(QPDFObjectHandle::parse(
      "<< /Type /ExtGState /ca " + text::PdfNumber(style.opacity) + " /CA " +
      text::PdfNumber(style.opacity) + " /BM /Normal /SMask /None >>"));
}

void PageTextPainter::Draw(QPDFPageObjectHelper& page, int number, const std::string& text,
                           const std::string& winAnsi, const std::string& label) {
  std::string where = "file \"" + label + "\": page " + std::to_string(number);
  WithLibraryFailures(where + " cannot be written on", [&] {
    QPDFObjectHandle::Rectangle box = document::UsableCropBox(page, number, label);
    QPDFObjectHandle rotateObject = page.getAttribute("/Rotate", false);
    int rotate = rotateObject.isInteger() ? static_cast<int>(rotateObject.getIntValue() % 360) : 0;
    if (rotate % 90 != 0)
      rotate = 0;

    QPDFObjectHandle resources;
    QPDFObjectHandle fonts = OwnResourceCategory(page, "/Font", resources);
    QPDFObjectHandle states = OwnResourceCategory(page, "/ExtGState", resources);
    int suffix = 1;
    std::string fontName = resources.getUniqueResourceName("/VtpsF", suffix);
    fonts.replaceKey(fontName, font_);
    std::string stateName = resources.getUniqueResourceName("/VtpsGS", suffix);
    states.replaceKey(stateName, state_);

    text::TextPlacement placement{text::HelveticaWidth(winAnsi, style_.fontSize), style_.fontSize,
                                  style_.angle, style_.position, style_.margin};
    text::Matrix m = text::PlaceText(placement, box.llx, box.lly, box.urx, box.ury, rotate);
    std::string content =
        "q " + stateName + " gs /Span << /ActualText " +
        QPDFObjectHandle::newUnicodeString(text).unparse() + " >> BDC BT " + fontName + " " +
        text::PdfNumber(style_.fontSize) + " Tf 0 Tr 0 Tc 0 Tw 100 Tz 0 Ts " +
        text::PdfNumber(style_.color.red) + " " + text::PdfNumber(style_.color.green) + " " +
        text::PdfNumber(style_.color.blue) + " rg " + text::PdfNumber(m.a) + " " +
        text::PdfNumber(m.b) + " " + text::PdfNumber(m.c) + " " + text::PdfNumber(m.d) + " " +
        text::PdfNumber(m.e) + " " + text::PdfNumber(m.f) + " Tm " +
        QPDFObjectHandle::newString(winAnsi).unparse() + " Tj ET EMC Q\n";
    if (style_.under)
      page.addPageContents(QPDFObjectHandle::newStream(&pdf_, content), true);
    else
      isolation_.DrawOver(page, content);
  });
}

}  // namespace pdf::editing
