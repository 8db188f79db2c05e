// Which office format a file is: named by its extension and confirmed by its first bytes, so
// that a file is converted only by the import filter its name promises (LibreOffice would
// otherwise guess among all of its filters). Pure functions of the name and the bytes.
#pragma once

#include <string>

namespace pdf::office {

struct OfficeFormat {
  std::string name;    // the extension, lower case: "docx", "xls", ...
  std::string family;  // "text", "spreadsheet" or "presentation"
};

// The format of the file named `fileName` (the last part of the path the job gave), whose
// content starts with `head` (its first bytes, at most 4 KiB are looked at). Throws
// PdfError naming `label` (`file "a.docx"`) when the extension is not one of the formats
// converted (the message lists them), or when the content is not of that kind (an RTF file
// named .docx, a ZIP named .doc, a binary file named .txt). A DOCX, XLSX or PPTX may be an
// OLE file: that is how a password-protected one is stored.
OfficeFormat DetectOfficeFormat(const std::string& fileName, const std::string& head,
                                const std::string& label);

// The extensions converted, for messages and docs: "docx, doc, odt, ...".
std::string ConvertedExtensions();

}  // namespace pdf::office
