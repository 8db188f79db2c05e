// PdfInfo: what a document is (version, encryption, linearization, document information)
// and the size and rotation of each page.
#include <qpdf/QPDFObjectHandle.hh>

#include <cmath>
#include <cstdio>

#include "processors/pdf/operations.h"
#include "processors/pdf/pdf_error.h"
#include "processors/pdf/xml_text.h"

namespace {

const char* const kInfoKeys[] = {"Title",   "Author",   "Subject",      "Keywords",
                                 "Creator", "Producer", "CreationDate", "ModDate"};

// Points with at most two decimals and no trailing zeros: "612", "595.28".
std::string Points(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", std::round(value * 100) / 100);
  std::string result = text;
  while (result.back() == '0')
    result.pop_back();
  if (result.back() == '.')
    result.pop_back();
  return result == "-0" ? "0" : result;
}

const char* TrueFalse(bool value) {
  return value ? "true" : "false";
}

// Larger page sides than this (in points, about 350 m) are taken for damage.
constexpr double kMaxPageSide = 1e6;

KQ_TDict PageEntry(QPDFPageObjectHelper& page, int number, const std::string& label) {
  // The crop box, or the media box where there is none.
  QPDFObjectHandle::Rectangle box = page.getCropBox().getArrayAsRectangle();
  for (double corner : {box.llx, box.lly, box.urx, box.ury})
    if (!std::isfinite(corner) || std::fabs(corner) > kMaxPageSide)
      throw PdfError("file \"" + label + "\": page " + std::to_string(number) +
                     " has no usable size (its MediaBox or CropBox holds a number that is "
                     "infinite, not a number or beyond 1000000 points)");
  QPDFObjectHandle rotate = page.getAttribute("/Rotate", false);
  int degrees = rotate.isInteger() ? rotate.getIntValueAsInt() : 0;
  KQ_TDict entry;
  entry["width"] = Points(std::fabs(box.urx - box.llx));
  entry["height"] = Points(std::fabs(box.ury - box.lly));
  entry["rotate"] = std::to_string(((degrees % 360) + 360) % 360);
  return entry;
}

}  // namespace

KQ_TDict PdfInfo(const JobParameters& parameters, OperationContext& context) {
  PdfFile input = OpenFileParameter(parameters, context);
  QPDF& pdf = *input.pdf;
  KQ_TDict answer;
  answer["pageCount"] = std::to_string(input.PageCount());
  answer["version"] = pdf.getPDFVersion();
  answer["encrypted"] = TrueFalse(pdf.isEncrypted());
  answer["linearized"] = TrueFalse(pdf.isLinearized());

  KQ_TDict info;
  QPDFObjectHandle infoDictionary = pdf.getTrailer().getKey("/Info");
  if (infoDictionary.isDictionary()) {
    for (const char* key : kInfoKeys) {
      QPDFObjectHandle value = infoDictionary.getKey(std::string("/") + key);
      if (value.isString())
        info[key] = XmlSafeText(value.getUTF8Value());
    }
  }
  // An empty dictionary would be written as an empty element and read back as a string.
  if (!info.Empty())
    answer["info"] = info;

  KQ_TArray pages;
  for (std::size_t i = 0; i < input.pages.size(); ++i)
    pages.Append(PageEntry(input.pages[i], static_cast<int>(i + 1), input.label));
  if (pages.Count() > 0)
    answer["page"] = pages;
  return answer;
}
