// PdfInfo: what a document is (version, encryption, linearization, document information)
// and the size and rotation of each page.
#include <qpdf/QPDFObjectHandle.hh>

#include <cmath>
#include <cstdio>

#include "processors/pdf/document/operation_context.h"
#include "processors/pdf/document/page_box.h"
#include "processors/pdf/run/job_parameters.h"
#include "processors/pdf/text/answer_text.h"
#include "processors/pdf/text/pdf_error.h"
#include "processors/pdf/text/pdf_number.h"

namespace pdf::ops {

namespace {

const char* const kInfoKeys[] = {"Title",   "Author",   "Subject",      "Keywords",
                                 "Creator", "Producer", "CreationDate", "ModDate"};

const char* TrueFalse(bool value) {
  return value ? "true" : "false";
}

KQ_TDict PageEntry(QPDFPageObjectHelper& page, int number, const std::string& label) {
  QPDFObjectHandle::Rectangle box = document::UsableCropBox(page, number, label);
  QPDFObjectHandle rotate = page.getAttribute("/Rotate", false);
  int degrees = rotate.isInteger() ? rotate.getIntValueAsInt() : 0;
  KQ_TDict entry;
  entry["width"] = text::PdfNumber(std::fabs(box.urx - box.llx), 2);
  entry["height"] = text::PdfNumber(std::fabs(box.ury - box.lly), 2);
  entry["rotate"] = std::to_string(((degrees % 360) + 360) % 360);
  return entry;
}

}  // namespace

KQ_TDict PdfInfo(const run::JobParameters& parameters, document::OperationContext& context) {
  document::PdfFile input = document::OpenFileParameter(parameters, context);
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
        info[key] = text::XmlSafeText(value.getUTF8Value());
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

}  // namespace pdf::ops
