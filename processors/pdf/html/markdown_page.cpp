#include "processors/pdf/html/markdown_page.h"

#include <cmark.h>

#include <cstdlib>
#include <memory>

namespace pdf::html {
namespace {

constexpr const char* kDefaultStyle = R"(
body { font-family: "DejaVu Serif", "Liberation Serif", serif; font-size: 11pt;
       line-height: 1.45; color: #111; max-width: 100%; }
h1, h2, h3, h4 { font-family: "DejaVu Sans", "Liberation Sans", sans-serif;
                 line-height: 1.2; page-break-after: avoid; }
h1 { font-size: 20pt; } h2 { font-size: 15pt; } h3 { font-size: 12.5pt; }
pre, code { font-family: "DejaVu Sans Mono", "Liberation Mono", monospace; font-size: 9.5pt; }
pre { background: #f4f4f4; padding: 8px 10px; white-space: pre-wrap; page-break-inside: avoid; }
blockquote { margin-left: 0; padding-left: 12px; border-left: 3px solid #ccc; color: #444; }
table { border-collapse: collapse; } th, td { border: 1px solid #bbb; padding: 3px 6px; }
img { max-width: 100%; }
a { color: #1a4fa0; }
)";

}  // namespace

std::string EscapeHtml(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      case '\'':
        escaped += "&#39;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

std::string MarkdownPage(const std::string& markdown, const std::string& title,
                         const std::optional<std::string>& stylesheet) {
  std::unique_ptr<char, decltype(&std::free)> body(
      cmark_markdown_to_html(markdown.data(), markdown.size(), CMARK_OPT_DEFAULT), &std::free);
  std::string page = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">\n<title>" +
                     EscapeHtml(title) + "</title>\n";
  if (stylesheet)
    page += "<link rel=\"stylesheet\" href=\"" + EscapeHtml(*stylesheet) + "\">\n";
  else
    page += std::string("<style>") + kDefaultStyle + "</style>\n";
  page += "</head><body>\n";
  if (body)
    page += body.get();
  page += "</body></html>\n";
  return page;
}

}  // namespace pdf::html
