// What the PDF processor tests share: the set of PDFs they work on, made with libqpdf in a
// folder the test owns, and the independent tools (qpdf, pdftotext) that check the results.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace vtps_test {

// Writes into `folder`:
//   three.pdf    3 Letter pages, "Page 1" to "Page 3"
//   mixed.pdf    A4 portrait; A4 landscape rotated by 90; Letter with a 540 x 720 crop box
//   info.pdf     1 page with a document information dictionary (Title, Author)
//   locked.pdf   three.pdf's pages, AES-256, user password "user-pw", owner "owner-pw"
//   damaged.pdf  three.pdf cut short (no cross-reference table or trailer)
//   stamp.pdf    1 page with the text "STAMP"
//   big.pdf      1 page of 3000 x 3000 points
void MakeTestPdfs(const std::string& folder);

// One operation of a PDF program, as the program's operations.table lists it.
struct PdfOperation {
  const char* program;  // "vtps-pdf"
  const char* name;     // "pdf-info", the link it is started as
  const char* method;   // "PdfInfo"
};

// Every operation of every PDF program of this build.
const std::vector<PdfOperation>& PdfOperations();

struct ToolResult {
  int exitCode = -1;
  std::string out;
};

// Runs `program` (a path) with `arguments` and waits at most a minute.
ToolResult RunTool(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& scratchFolder);

// Checks with Debian's qpdf and poppler-utils, independent of the processors' code.
class PdfTools {
 public:
  explicit PdfTools(std::string scratchFolder) : scratch_(std::move(scratchFolder)) {}

  int PageCount(const std::string& pdf) const;       // qpdf --show-npages; -1 on failure
  bool Checks(const std::string& pdf) const;         // qpdf --check exits 0
  bool NeedsPassword(const std::string& pdf) const;  // qpdf --requires-password
  bool Linearized(const std::string& pdf) const;     // qpdf --check-linearization passes
  // Each page's /Rotate from qpdf --json (0 where there is none).
  std::vector<int> Rotations(const std::string& pdf, const std::string& password = "") const;
  // pdftotext of one page, blanks trimmed.
  std::string PageText(const std::string& pdf, int page, const std::string& password = "") const;

 private:
  std::string scratch_;
};

// The width and height in a PNG file's header, or {-1, -1} when it is no PNG.
std::pair<int, int> PngSize(const std::string& path);

// Every file below `folder` with its content, to show that a run changed nothing.
std::map<std::string, std::string> FolderSnapshot(const std::string& folder);

}  // namespace vtps_test
