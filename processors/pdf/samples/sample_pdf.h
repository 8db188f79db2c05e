// Small PDF documents made with libqpdf, for the tests, the benchmark and the demo: pages of
// any size with a line of text in Helvetica, optional rotation and crop box, a document
// information dictionary and AES-256 encryption. Plain functions; nothing is shared.
#pragma once

#include <array>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace pdf::samples {

struct SamplePage {
  double width = 612;  // points (US Letter by default)
  double height = 792;
  std::string text;  // one line near the top left; printable ASCII
  int rotate = 0;
  std::optional<std::array<double, 4>> cropBox;  // llx, lly, urx, ury
};

struct SampleDocument {
  std::vector<SamplePage> pages;
  std::map<std::string, std::string> info;  // "Title" -> "Report", ...
  std::optional<std::string> userPassword;  // set: encrypted with AES-256
  std::string ownerPassword = "owner";
};

// `count` Letter pages whose text is `prefix` and the page number ("Page 1", ...).
std::vector<SamplePage> TextPages(int count, const std::string& prefix = "Page");

// Writes `document` to `path`. Throws std::runtime_error naming the path when it cannot be
// written.
void WriteSamplePdf(const SampleDocument& document, const std::string& path);

}  // namespace pdf::samples
