#include "processors/pdf/office/csv_sheet.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace pdf::office {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

std::string Rows(const std::string& csv) {
  std::string sheet = FlatSpreadsheetOfCsv(csv, "S");
  std::size_t start = sheet.find("<table:table-row>");
  std::size_t end = sheet.rfind("</table:table-row>");
  return start == std::string::npos ? "" : sheet.substr(start, end + 18 - start);
}

std::string Text(const std::string& text) {
  return "<table:table-cell office:value-type=\"string\"><text:p>" + text +
         "</text:p></table:table-cell>";
}

std::string Number(const std::string& value) {
  return "<table:table-cell office:value-type=\"float\" office:value=\"" + value + "\"><text:p>" +
         value + "</text:p></table:table-cell>";
}

TEST(CsvSheet, FieldsFollowTheUsualRules) {
  struct Case {
    const char* csv;
    std::string rows;
  } cases[] = {
      {"a,1\n", "<table:table-row>" + Text("a") + Number("1") + "</table:table-row>"},
      {"a,1", "<table:table-row>" + Text("a") + Number("1") + "</table:table-row>"},
      {"a;b;c\r\n", "<table:table-row>" + Text("a") + Text("b") + Text("c") + "</table:table-row>"},
      {"a\tb\n", "<table:table-row>" + Text("a") + Text("b") + "</table:table-row>"},
      {"\"x,y\",\"say \"\"hi\"\"\"\n",
       "<table:table-row>" + Text("x,y") + Text("say &quot;hi&quot;") + "</table:table-row>"},
      {"\"two\nlines\"\n",
       "<table:table-row><table:table-cell office:value-type=\"string\">"
       "<text:p>two</text:p><text:p>lines</text:p></table:table-cell>"
       "</table:table-row>"},
      {"-2.5,1.,.5,1e3\n", "<table:table-row>" + Number("-2.5") + Text("1.") + Text(".5") +
                               Text("1e3") + "</table:table-row>"},
      {"<b>&\n", "<table:table-row>" + Text("&lt;b&gt;&amp;") + "</table:table-row>"},
      {"\xEF\xBB\xBFhead\n", "<table:table-row>" + Text("head") + "</table:table-row>"},
      {"bad\xFF\x01\n",
       "<table:table-row>" + Text("bad\xEF\xBF\xBD\xEF\xBF\xBD") + "</table:table-row>"},
      {"", ""},
  };
  for (const Case& test : cases)
    EXPECT_EQ(Rows(test.csv), test.rows) << test.csv;
}

TEST(CsvSheet, TheSheetNameCannotBreakTheDocument) {
  std::string sheet = FlatSpreadsheetOfCsv("a\n", "\"><x");
  EXPECT_THAT(sheet, HasSubstr("table:name=\"&quot;&gt;&lt;x\""));
  EXPECT_THAT(sheet, Not(HasSubstr("\"><x")));
}

}  // namespace
}  // namespace pdf::office
