#include "processors/pdf/office/office_format.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "processors/pdf/text/pdf_error.h"

namespace pdf::office {
namespace {

const std::string kZip("PK\x03\x04rest", 8);
const std::string kOle("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1rest");
const std::string kRtf("{\\rtf1\\ansi hello}");

std::string Detected(const std::string& name, const std::string& head) {
  try {
    OfficeFormat format = DetectOfficeFormat(name, head, "file \"" + name + "\"");
    return format.name + " " + format.family;
  } catch (const PdfError& e) {
    return e.what();
  }
}

TEST(OfficeFormat, NameAndContentMustAgree) {
  struct Case {
    std::string name;
    std::string head;
    std::string expected;
  } cases[] = {
      {"report.docx", kZip, "docx text"},
      {"REPORT.DOCX", kZip, "docx text"},
      {"old.doc", kOle, "doc text"},
      {"saved-by-word.doc", kRtf, "doc text"},
      {"a.odt", kZip, "odt text"},
      {"a.rtf", kRtf, "rtf text"},
      {"notes.txt", "plain words\n", "txt text"},
      {"book.xlsx", kZip, "xlsx spreadsheet"},
      {"book.xls", kOle, "xls spreadsheet"},
      {"a.ods", kZip, "ods spreadsheet"},
      {"t.csv", "a,b\n1,2\n", "csv spreadsheet"},
      {"deck.pptx", kZip, "pptx presentation"},
      {"deck.ppt", kOle, "ppt presentation"},
      {"a.odp", kZip, "odp presentation"},
      {"protected.docx", kOle, "docx text"},  // an encrypted package
      {"protected.xlsx", kOle, "xlsx spreadsheet"},
      {"renamed.docx", kRtf,
       "file \"renamed.docx\" is not a Word document (DOCX) as its name says"},
      {"renamed.odt", kOle, "is not an OpenDocument text (ODT)"},
      {"zip.doc", kZip, "is not a Word 97-2003 document (DOC)"},
      {"binary.txt", std::string("ab\0cd", 5), "is not a text file"},
      {"zip.csv", kZip, "is not a CSV file"},
      {"a.rtf", "plain", "is not an RTF document"},
      {"a.pdf", "%PDF-1.7",
       "is not an office document this server converts (its name must end in "
       ".docx, .doc, .odt"},
      {"noextension", kZip, "is not an office document"},
      {"a.docx.exe", kZip, "is not an office document"},
  };
  for (const Case& test : cases)
    EXPECT_THAT(Detected(test.name, test.head), ::testing::HasSubstr(test.expected)) << test.name;
}

}  // namespace
}  // namespace pdf::office
