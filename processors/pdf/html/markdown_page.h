// A Markdown document made into the HTML page that is printed: CommonMark through libcmark
// (raw HTML in the Markdown and links with unsafe schemes, such as javascript:, are left out),
// in a page with a default stylesheet for reading on paper, or with the caller's stylesheet
// instead. Pure function of its text.
#pragma once

#include <optional>
#include <string>

namespace pdf::html {

// The page for `markdown`, titled `title`; `stylesheet` is the address of a stylesheet,
// relative to the page, that replaces the default one.
std::string MarkdownPage(const std::string& markdown, const std::string& title,
                         const std::optional<std::string>& stylesheet);

// `text` with &, <, >, " and ' written as HTML's character references.
std::string EscapeHtml(const std::string& text);

}  // namespace pdf::html
