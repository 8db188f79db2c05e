// A CSV file as a flat OpenDocument spreadsheet (.fods), which LibreOffice opens without
// the questions its CSV import asks (separator, encoding) and which LibreOfficeKit cannot
// answer. The separator is the comma, or the semicolon or tab where the first line has more
// of those; fields follow RFC 4180 (quotes, doubled quotes, line ends inside quotes); plain
// decimal numbers become numbers, everything else text. Pure function of the text.
#pragma once

#include <string>

namespace pdf::office {

// The .fods document of `csv` (UTF-8, with or without a byte order mark; bytes that are not
// UTF-8, and characters XML forbids, become U+FFFD), one sheet named `sheetName`.
std::string FlatSpreadsheetOfCsv(const std::string& csv, const std::string& sheetName);

}  // namespace pdf::office
