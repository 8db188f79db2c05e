#include "processors/pdf/samples/sample_pdf.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <cstdio>

#include "processors/pdf/text/pdf_number.h"

namespace pdf::samples {

namespace {

// `text` as a PDF literal string.
std::string Literal(const std::string& text) {
  std::string result = "(";
  for (char c : text) {
    if (c == '(' || c == ')' || c == '\\')
      result += '\\';
    result += c;
  }
  return result + ")";
}

QPDFObjectHandle Box(double llx, double lly, double urx, double ury) {
  return QPDFObjectHandle::newArray(QPDFObjectHandle::Rectangle(llx, lly, urx, ury));
}

}  // namespace

std::vector<SamplePage> TextPages(int count, const std::string& prefix) {
  std::vector<SamplePage> pages;
  for (int i = 1; i <= count; ++i) {
    SamplePage page;
    page.text = prefix + " " + std::to_string(i);
    pages.push_back(page);
  }
  return pages;
}

void WriteSamplePdf(const SampleDocument& document, const std::string& path) {
  QPDF pdf;
  pdf.emptyPDF();
  QPDFObjectHandle font = pdf.makeIndirectObject(QPDFObjectHandle::parse(
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"));
  QPDFPageDocumentHelper pages(pdf);
  for (const SamplePage& sample : document.pages) {
    QPDFObjectHandle resources = QPDFObjectHandle::newDictionary();
    QPDFObjectHandle fonts = QPDFObjectHandle::newDictionary();
    fonts.replaceKey("/F1", font);
    resources.replaceKey("/Font", fonts);
    std::string content = "BT /F1 24 Tf 72 " + text::PdfNumber(sample.height - 96) + " Td " +
                          Literal(sample.text) + " Tj ET\n";
    QPDFObjectHandle page = pdf.makeIndirectObject(QPDFObjectHandle::newDictionary());
    page.replaceKey("/Type", QPDFObjectHandle::newName("/Page"));
    page.replaceKey("/MediaBox", Box(0, 0, sample.width, sample.height));
    if (sample.cropBox) {
      const auto& box = *sample.cropBox;
      page.replaceKey("/CropBox", Box(box[0], box[1], box[2], box[3]));
    }
    if (sample.rotate != 0)
      page.replaceKey("/Rotate", QPDFObjectHandle::newInteger(sample.rotate));
    page.replaceKey("/Resources", resources);
    page.replaceKey("/Contents", QPDFObjectHandle::newStream(&pdf, content));
    pages.addPage(QPDFPageObjectHelper(page), false);
  }
  if (!document.info.empty()) {
    QPDFObjectHandle info = pdf.makeIndirectObject(QPDFObjectHandle::newDictionary());
    for (const auto& [key, value] : document.info)
      info.replaceKey("/" + key, QPDFObjectHandle::newUnicodeString(value));
    pdf.getTrailer().replaceKey("/Info", info);
  }
  QPDFWriter writer(pdf, path.c_str());
  if (document.userPassword)
    writer.setR6EncryptionParameters(document.userPassword->c_str(), document.ownerPassword.c_str(),
                                     true, true, true, true, true, true, qpdf_r3p_full, true);
  writer.write();
}

}  // namespace pdf::samples
