#include "processors/pdf/page_text.h"

#include <cmath>

#include "processors/pdf/pdf_error.h"

namespace {

// Larger page sides than this (in points, about 350 m) are taken for damage.
constexpr double kMaxPageSide = 1e6;

// The page's resource dictionary's sub-dictionary `key`, made where missing. Inherited
// resources are copied onto the page first, so the change stays with this page's tree.
QPDFObjectHandle ResourcesOf(QPDFPageObjectHelper& page, const std::string& key,
                             QPDFObjectHandle& resources) {
  resources = page.getAttribute("/Resources", true);
  if (!resources.isDictionary()) {
    resources = QPDFObjectHandle::newDictionary();
    page.getObjectHandle().replaceKey("/Resources", resources);
  }
  QPDFObjectHandle category = resources.getKey(key);
  if (!category.isDictionary()) {
    category = QPDFObjectHandle::newDictionary();
    resources.replaceKey(key, category);
  }
  return category;
}

}  // namespace

PageTextPainter::PageTextPainter(QPDF& pdf, const TextStyle& style) : pdf_(pdf), style_(style) {
  font_ = pdf.makeIndirectObject(QPDFObjectHandle::parse(
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"));
  state_ = pdf.makeIndirectObject(QPDFObjectHandle::parse("<< /Type /ExtGState /ca " +
                                                          PdfNumber(style.opacity) + " /CA " +
                                                          PdfNumber(style.opacity) + " >>"));
}

void PageTextPainter::Draw(QPDFPageObjectHelper& page, int number, const std::string& text,
                           const std::string& winAnsi, const std::string& label) {
  std::string where = "file \"" + label + "\": page " + std::to_string(number);
  try {
    QPDFObjectHandle::Rectangle box = page.getCropBox().getArrayAsRectangle();
    for (double corner : {box.llx, box.lly, box.urx, box.ury})
      if (!std::isfinite(corner) || std::fabs(corner) > kMaxPageSide)
        throw PdfError(where +
                       " has no usable size (its MediaBox or CropBox holds a number that is "
                       "infinite, not a number or beyond 1000000 points)");
    QPDFObjectHandle rotateObject = page.getAttribute("/Rotate", false);
    int rotate = rotateObject.isInteger() ? static_cast<int>(rotateObject.getIntValue() % 360) : 0;
    if (rotate % 90 != 0)
      rotate = 0;

    QPDFObjectHandle resources;
    QPDFObjectHandle fonts = ResourcesOf(page, "/Font", resources);
    QPDFObjectHandle states = ResourcesOf(page, "/ExtGState", resources);
    int suffix = 1;
    std::string fontName = resources.getUniqueResourceName("/VtpsF", suffix);
    fonts.replaceKey(fontName, font_);
    std::string stateName = resources.getUniqueResourceName("/VtpsGS", suffix);
    states.replaceKey(stateName, state_);

    TextPlacement placement{HelveticaWidth(winAnsi, style_.fontSize), style_.fontSize, style_.angle,
                            style_.position, style_.margin};
    Matrix m = PlaceText(placement, box.llx, box.lly, box.urx, box.ury, rotate);
    std::string content = "q " + stateName + " gs /Span << /ActualText " +
                          QPDFObjectHandle::newUnicodeString(text).unparse() + " >> BDC BT " +
                          fontName + " " + PdfNumber(style_.fontSize) + " Tf " +
                          PdfNumber(style_.color.red) + " " + PdfNumber(style_.color.green) + " " +
                          PdfNumber(style_.color.blue) + " rg " + PdfNumber(m.a) + " " +
                          PdfNumber(m.b) + " " + PdfNumber(m.c) + " " + PdfNumber(m.d) + " " +
                          PdfNumber(m.e) + " " + PdfNumber(m.f) + " Tm " +
                          QPDFObjectHandle::newString(winAnsi).unparse() + " Tj ET EMC Q\n";
    if (style_.under) {
      page.addPageContents(QPDFObjectHandle::newStream(&pdf_, content), true);
    } else {
      // The page's own content is wrapped in q/Q so its graphics state cannot move the text.
      page.addPageContents(QPDFObjectHandle::newStream(&pdf_, "q\n"), true);
      page.addPageContents(QPDFObjectHandle::newStream(&pdf_, "\nQ\n" + content), false);
    }
  } catch (const PdfError&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    throw PdfError(where + " cannot be written on (" + e.what() + ")");
  }
}
