#include "processors/pdf/office/office_format.h"

#include <algorithm>
#include <cctype>

#include "processors/pdf/text/pdf_error.h"

namespace pdf::office {
namespace {

enum class Container { kZip, kOle, kRtf, kText };

struct KnownFormat {
  const char* name;
  const char* family;
  Container container;
  const char* description;
};

// Word's .doc may be RTF inside (Word itself saves it so), and a protected DOCX, XLSX or
// PPTX is an OLE file; those cases are tried below.
constexpr KnownFormat kFormats[] = {
    {"docx", "text", Container::kZip, "a Word document (DOCX)"},
    {"doc", "text", Container::kOle, "a Word 97-2003 document (DOC)"},
    {"odt", "text", Container::kZip, "an OpenDocument text (ODT)"},
    {"rtf", "text", Container::kRtf, "an RTF document"},
    {"txt", "text", Container::kText, "a text file"},
    {"xlsx", "spreadsheet", Container::kZip, "an Excel workbook (XLSX)"},
    {"xls", "spreadsheet", Container::kOle, "an Excel 97-2003 workbook (XLS)"},
    {"ods", "spreadsheet", Container::kZip, "an OpenDocument spreadsheet (ODS)"},
    {"csv", "spreadsheet", Container::kText, "a CSV file"},
    {"pptx", "presentation", Container::kZip, "a PowerPoint presentation (PPTX)"},
    {"ppt", "presentation", Container::kOle, "a PowerPoint 97-2003 presentation (PPT)"},
    {"odp", "presentation", Container::kZip, "an OpenDocument presentation (ODP)"},
};

bool StartsWith(const std::string& head, const std::string& prefix) {
  return head.compare(0, prefix.size(), prefix) == 0;
}

bool IsContainer(const std::string& head, Container container) {
  switch (container) {
    case Container::kZip:
      return StartsWith(head, std::string("PK\x03\x04", 4));
    case Container::kOle:
      return StartsWith(head, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
    case Container::kRtf:
      return StartsWith(head, "{\\rtf");
    case Container::kText: {
      std::size_t looked = std::min<std::size_t>(head.size(), 4096);
      return std::find(head.begin(), head.begin() + static_cast<long>(looked), '\0') ==
                 head.begin() + static_cast<long>(looked) &&
             !IsContainer(head, Container::kZip) && !IsContainer(head, Container::kOle);
    }
  }
  return false;
}

}  // namespace

OfficeFormat DetectOfficeFormat(const std::string& fileName, const std::string& head,
                                const std::string& label) {
  std::size_t dot = fileName.rfind('.');
  std::string extension = dot == std::string::npos ? "" : fileName.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const KnownFormat& format : kFormats) {
    if (extension != format.name)
      continue;
    // A password-protected DOCX, XLSX or PPTX is an OLE file holding the encrypted package.
    bool encryptedOoxml = format.container == Container::kZip && extension.size() == 4 &&
                          extension.back() == 'x' && IsContainer(head, Container::kOle);
    bool fits = IsContainer(head, format.container) || encryptedOoxml ||
                (extension == "doc" && IsContainer(head, Container::kRtf));
    if (!fits)
      throw PdfError(label + " is not " + format.description +
                     " as its name says: its content is of another kind");
    return {format.name, format.family};
  }
  throw PdfError(label + " is not an office document this server converts (its name must end in " +
                 ConvertedExtensions() + ")");
}

std::string ConvertedExtensions() {
  std::string list;
  for (const KnownFormat& format : kFormats)
    list += (list.empty() ? "." : ", .") + std::string(format.name);
  return list;
}

}  // namespace pdf::office
