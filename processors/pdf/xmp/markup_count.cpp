#include "processors/pdf/xmp/markup_count.h"

#include <algorithm>

namespace pdf::xmp {

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

}  // namespace

MarkupCount CountMarkup(std::string_view xml) {
  MarkupCount count;
  std::size_t at = 0;
  // Moves `at` past the next `end`, or to the end of the text.
  auto skipPast = [&](std::string_view end) {
    std::size_t found = xml.find(end, at);
    at = found == std::string_view::npos ? xml.size() : found + end.size();
  };
  while (at < xml.size()) {
    std::size_t open = xml.find('<', at);
    if (open == std::string_view::npos)
      break;
    at = open + 1;
    std::string_view rest = xml.substr(at);
    if (rest.starts_with("!--")) {
      skipPast("-->");
    } else if (rest.starts_with("![CDATA[")) {
      skipPast("]]>");
    } else if (rest.starts_with("?")) {
      skipPast("?>");
    } else if (rest.starts_with("!") || rest.starts_with("/")) {
      skipPast(">");
    } else {
      // A start tag: its name, then attributes (name = quoted value) up to > or />.
      long long attributes = 0;
      while (at < xml.size() && !IsSpace(xml[at]) && xml[at] != '>' && xml[at] != '/')
        ++at;
      while (at < xml.size() && xml[at] != '>') {
        char c = xml[at];
        if (c == '"' || c == '\'') {
          std::size_t close = xml.find(c, at + 1);
          at = close == std::string_view::npos ? xml.size() : close + 1;
        } else if (IsSpace(c) || c == '/' || c == '=') {
          ++at;
        } else {
          std::size_t start = at;
          while (at < xml.size() && !IsSpace(xml[at]) && xml[at] != '=' && xml[at] != '>' &&
                 xml[at] != '/' && xml[at] != '"' && xml[at] != '\'')
            ++at;
          std::string_view name = xml.substr(start, at - start);
          ++attributes;
          if (name == "xmlns" || name.starts_with("xmlns:"))
            ++count.namespaces;
        }
      }
      count.mostAttributes = std::max(count.mostAttributes, attributes);
    }
  }
  return count;
}

}  // namespace pdf::xmp
