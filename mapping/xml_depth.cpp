#include "mapping/xml_depth.h"

#include <algorithm>
#include <cstddef>

namespace xml_depth {
namespace {

// The character classes of the reader: what may not appear in an element name, an attribute
// name, and what counts as white space.
bool IsWhitespace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
bool IsNodeNameChar(char c) {
  return c != '\0' && !IsWhitespace(c) && c != '/' && c != '>' && c != '?';
}
bool IsAttributeNameChar(char c) {
  return IsNodeNameChar(c) && c != '<' && c != '=' && c != '!';
}

class Scanner {
 public:
  // Every scan of the reader stops at a NUL byte, where the document either ends or breaks
  // off; the text past the first NUL is therefore never looked at.
  Scanner(std::string_view text, int limit)
      : text_(text.substr(0, text.find('\0'))), limit_(limit) {}

  XmlDepth Run() {
    // A UTF-8 byte-order mark is skipped, as the reader does.
    if (text_.substr(0, 3) == "\xEF\xBB\xBF")
      position_ = 3;
    while (true) {
      if (open_ == 0) {
        SkipWhitespace();
        char c = At(0);
        if (c == '\0')
          return {XmlDepthStatus::kWithinLimit, deepest_};
        if (c != '<')
          return Malformed();
        ++position_;
        if (!Node())
          return Result();
      } else {
        char c = At(0);
        if (c == '\0')
          return Malformed();
        if (c == '<' && At(1) == '/') {
          // Closing tags are not matched against their element, only skipped.
          position_ += 2;
          while (IsNodeNameChar(At(0)))
            ++position_;
          SkipWhitespace();
          if (At(0) != '>')
            return Malformed();
          ++position_;
          --open_;
        } else if (c == '<') {
          ++position_;
          if (!Node())
            return Result();
        } else {
          // Text runs to the next '<' (or the end, which is malformed).
          position_ = std::min(text_.find('<', position_), text_.size());
        }
      }
    }
  }

 private:
  // The byte `ahead` places on; the end of the text reads as NUL, as the reader's buffer is
  // NUL-terminated.
  char At(std::size_t ahead) const {
    std::size_t at = position_ + ahead;
    return at < text_.size() ? text_[at] : '\0';
  }
  bool StartsWith(std::string_view part) const {
    return text_.compare(std::min(position_, text_.size()), part.size(), part) == 0;
  }
  void SkipWhitespace() {
    while (IsWhitespace(At(0)))
      ++position_;
  }
  // Skips to just past `end`; false when the text ends first.
  bool SkipPast(std::string_view end) {
    std::size_t found = text_.find(end, position_);
    if (found == std::string_view::npos)
      return false;
    position_ = found + end.size();
    return true;
  }
  XmlDepth Malformed() {
    status_ = XmlDepthStatus::kMalformed;
    return Result();
  }
  XmlDepth Result() const { return {status_, deepest_}; }
  bool Fail() {
    status_ = XmlDepthStatus::kMalformed;
    return false;
  }

  // The node after a '<' that does not start a closing tag. Returns false when scanning
  // must stop (status_ says why).
  bool Node() {
    char c = At(0);
    if (c == '?') {
      // The declaration and processing instructions are skipped whole.
      ++position_;
      return SkipPast("?>") || Fail();
    }
    if (c == '!') {
      if (At(1) == '-' && At(2) == '-') {
        position_ += 3;
        return SkipPast("-->") || Fail();
      }
      if (StartsWith("![CDATA[")) {
        position_ += 8;
        return SkipPast("]]>") || Fail();
      }
      if (StartsWith("!DOCTYPE") && IsWhitespace(At(8))) {
        position_ += 9;
        return Doctype();
      }
      ++position_;
      return SkipPast(">") || Fail();
    }
    return Element();
  }

  bool Doctype() {
    while (At(0) != '>') {
      char c = At(0);
      if (c == '\0')
        return Fail();
      ++position_;
      if (c == '[') {
        int brackets = 1;
        while (brackets > 0) {
          char inner = At(0);
          if (inner == '\0')
            return Fail();
          if (inner == '[')
            ++brackets;
          else if (inner == ']')
            --brackets;
          ++position_;
        }
      }
    }
    ++position_;
    return true;
  }

  bool Element() {
    std::size_t nameStart = position_;
    while (IsNodeNameChar(At(0)))
      ++position_;
    if (position_ == nameStart)
      return Fail();
    int level = open_ + 1;
    if (level > limit_) {
      status_ = XmlDepthStatus::kTooDeep;
      return false;
    }
    if (level > deepest_)
      deepest_ = level;
    SkipWhitespace();
    while (IsAttributeNameChar(At(0))) {
      while (IsAttributeNameChar(At(0)))
        ++position_;
      SkipWhitespace();
      if (At(0) != '=')
        return Fail();
      ++position_;
      SkipWhitespace();
      char quote = At(0);
      if (quote != '"' && quote != '\'')
        return Fail();
      std::size_t end = text_.find(quote, position_ + 1);
      if (end == std::string_view::npos)
        return Fail();
      position_ = end + 1;
      SkipWhitespace();
    }
    if (At(0) == '>') {
      ++position_;
      ++open_;
      return true;
    }
    if (At(0) == '/' && At(1) == '>') {
      position_ += 2;
      return true;
    }
    return Fail();
  }

  std::string_view text_;
  int limit_;
  std::size_t position_ = 0;
  int open_ = 0;
  int deepest_ = 0;
  XmlDepthStatus status_ = XmlDepthStatus::kWithinLimit;
};

}  // namespace

XmlDepth MeasureXmlDepth(std::string_view document, int limit) {
  return Scanner(document, limit).Run();
}

}  // namespace xml_depth
