#include "processors/pdf/office/csv_sheet.h"

#include <algorithm>
#include <vector>

#include "processors/pdf/text/utf8.h"

namespace pdf::office {
namespace {

char Separator(const std::string& csv) {
  std::string firstLine = csv.substr(0, csv.find('\n'));
  long commas = std::count(firstLine.begin(), firstLine.end(), ',');
  long semicolons = std::count(firstLine.begin(), firstLine.end(), ';');
  long tabs = std::count(firstLine.begin(), firstLine.end(), '\t');
  if (tabs > commas && tabs > semicolons)
    return '\t';
  return semicolons > commas ? ';' : ',';
}

// The text as XML character data: valid UTF-8 only, markup characters escaped.
std::string XmlText(const std::string& text) {
  std::string out;
  std::size_t at = 0;
  while (at < text.size()) {
    std::optional<char32_t> next = text::NextCharacter(text, at);
    char32_t c = next.value_or(0xFFFD);
    if ((c < 0x20 && c != '\t' && c != '\n') || c == 0xFFFE || c == 0xFFFF)
      c = 0xFFFD;
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        text::AppendUtf8(out, c);
    }
  }
  return out;
}

bool PlainNumber(const std::string& field) {
  std::size_t i = field.size() > 0 && field[0] == '-' ? 1 : 0;
  std::size_t digits = 0;
  bool point = false;
  for (; i < field.size(); ++i) {
    if (field[i] >= '0' && field[i] <= '9')
      ++digits;
    else if (field[i] == '.' && !point && digits > 0)
      point = true;
    else
      return false;
  }
  return digits > 0 && digits <= 15 && field.back() != '.';
}

void AppendCell(std::string& out, const std::string& field) {
  if (PlainNumber(field)) {
    out += "<table:table-cell office:value-type=\"float\" office:value=\"" + field + "\"><text:p>" +
           field + "</text:p></table:table-cell>";
    return;
  }
  out += "<table:table-cell office:value-type=\"string\">";
  // Line ends inside a field are paragraphs of the cell.
  std::size_t start = 0;
  for (;;) {
    std::size_t end = field.find('\n', start);
    std::string line =
        field.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    out += "<text:p>" + XmlText(line) + "</text:p>";
    if (end == std::string::npos)
      break;
    start = end + 1;
  }
  out += "</table:table-cell>";
}

}  // namespace

std::string FlatSpreadsheetOfCsv(const std::string& csv, const std::string& sheetName) {
  std::string text = csv.compare(0, 3, "\xEF\xBB\xBF") == 0 ? csv.substr(3) : csv;
  const char separator = Separator(text);
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<office:document xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
      "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
      "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" office:version=\"1.2\" "
      "office:mimetype=\"application/vnd.oasis.opendocument.spreadsheet\">"
      "<office:body><office:spreadsheet><table:table table:name=\"" +
      XmlText(sheetName) + "\">\n";
  std::string field;
  bool quoted = false;
  bool rowOpen = false;
  auto endField = [&] {
    if (!rowOpen) {
      out += "<table:table-row>";
      rowOpen = true;
    }
    AppendCell(out, field);
    field.clear();
  };
  auto endRow = [&] {
    endField();
    out += "</table:table-row>\n";
    rowOpen = false;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"' && field.empty()) {
      quoted = true;
    } else if (c == separator) {
      endField();
    } else if (c == '\n') {
      if (!field.empty() && field.back() == '\r')
        field.pop_back();
      endRow();
    } else {
      field += c;
    }
  }
  if (!field.empty() || rowOpen)
    endRow();
  out += "</table:table></office:spreadsheet></office:body></office:document>\n";
  return out;
}

}  // namespace pdf::office
