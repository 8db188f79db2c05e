#include "processors/pdf/text/content_scan.h"

#include <vector>

namespace pdf::text {

namespace {

bool IsWhiteSpace(char c) {
  return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0';
}

bool IsDelimiter(char c) {
  return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' ||
         c == '}' || c == '/' || c == '%';
}

bool IsRegular(char c) {
  return !IsWhiteSpace(c) && !IsDelimiter(c);
}

// Whether a regular token is an operand rather than an operator: a number or a keyword
// that stands for a value.
bool IsOperand(std::string_view token) {
  char first = token.front();
  if ((first >= '0' && first <= '9') || first == '+' || first == '-' || first == '.')
    return true;
  return token == "true" || token == "false" || token == "null";
}

class Scanner {
 public:
  explicit Scanner(std::string_view content) : content_(content) {}

  ContentScan Run() {
    while (at_ < content_.size()) {
      char c = content_[at_];
      if (IsWhiteSpace(c)) {
        ++at_;
      } else if (c == '%') {
        while (at_ < content_.size() && content_[at_] != '\n' && content_[at_] != '\r')
          ++at_;
      } else if (c == '(') {
        std::size_t start = at_;
        bool closed = SkipString();
        scan_.stringBytes += static_cast<long long>(at_ - start);
        if (!closed)
          return Finish(")");
        lastName_ = {};
      } else if (c == '<' && Next() == '<') {
        containers_.push_back('<');
        at_ += 2;
      } else if (c == '<') {
        std::size_t end = content_.find('>', at_ + 1);
        if (end == std::string_view::npos)
          return Finish(">");
        scan_.stringBytes += static_cast<long long>(end - at_) / 2;
        at_ = end + 1;
        lastName_ = {};
      } else if (c == '>' && Next() == '>') {
        Close('<');
        at_ += 2;
      } else if (c == '[') {
        containers_.push_back('[');
        ++at_;
      } else if (c == ']') {
        Close('[');
        ++at_;
      } else if (c == '/') {
        std::size_t start = at_++;
        while (at_ < content_.size() && IsRegular(content_[at_]))
          ++at_;
        lastName_ = content_.substr(start, at_ - start);
      } else if (c == '{' || c == '}' || c == ')' || c == '>') {
        ++at_;  // stray delimiters, which readers skip
      } else {
        std::size_t start = at_;
        while (at_ < content_.size() && IsRegular(content_[at_]))
          ++at_;
        std::string_view token = content_.substr(start, at_ - start);
        if (IsOperand(token)) {
          lastName_ = {};
        } else if (!containers_.empty()) {
          // Inside an array or dictionary a keyword is no operator readers run, but it
          // still costs them a token.
          ++scan_.operators;
        } else if (!Operator(token)) {
          return Finish("\nEI");
        }
      }
    }
    return Finish("");
  }

 private:
  char Next() const { return at_ + 1 < content_.size() ? content_[at_ + 1] : '\0'; }

  // Skips a literal string from its "(": false when the content ends inside it, the open
  // levels then left in scan_.
  bool SkipString() {
    long long depth = 0;
    while (at_ < content_.size()) {
      char c = content_[at_++];
      if (c == '\\') {
        if (at_ == content_.size()) {
          // An escape cut short would take the next byte; a space makes it harmless.
          escapeOpen_ = true;
          break;
        }
        ++at_;
      } else if (c == '(') {
        ++depth;
      } else if (c == ')' && --depth == 0) {
        return true;
      }
    }
    stringDepth_ = depth;
    return false;
  }

  void Close(char opener) {
    if (!containers_.empty() && containers_.back() == opener)
      containers_.pop_back();
  }

  // Counts the operator `op`; false when it starts inline image data that runs to the end.
  bool Operator(std::string_view op) {
    ++scan_.operators;
    if (op == "q") {
      ++scan_.openSaves;
    } else if (op == "Q") {
      if (scan_.openSaves > 0)
        --scan_.openSaves;
      else
        ++scan_.unmatchedRestores;
    } else if (op == "BT") {
      scan_.openText = true;
    } else if (op == "ET") {
      scan_.openText = false;
    } else if (op == "BMC" || op == "BDC") {
      ++scan_.openMarked;
    } else if (op == "EMC") {
      if (scan_.openMarked > 0)
        --scan_.openMarked;
    } else if (op == "BX") {
      ++scan_.openCompatibility;
    } else if (op == "EX") {
      if (scan_.openCompatibility > 0)
        --scan_.openCompatibility;
    } else if (op == "Do" && !lastName_.empty()) {
      ++scan_.drawn[std::string(lastName_)];
    } else if (op == "ID") {
      return SkipImageData();
    }
    lastName_ = {};
    return true;
  }

  // Skips inline image data after ID up to the EI that ends it (white space before it,
  // white space, a delimiter or the end after it). False when no EI comes.
  bool SkipImageData() {
    ++at_;  // the one white-space byte after ID
    for (std::size_t found = content_.find("EI", at_); found != std::string_view::npos;
         found = content_.find("EI", found + 1)) {
      bool before = found > 0 && IsWhiteSpace(content_[found - 1]);
      bool after = found + 2 == content_.size() || !IsRegular(content_[found + 2]);
      if (before && after) {
        at_ = found + 2;
        ++scan_.operators;
        return true;
      }
    }
    at_ = content_.size();
    return false;
  }

  ContentScan Finish(const std::string& token) {
    std::string& unfinished = scan_.unfinished;
    if (escapeOpen_)
      unfinished += ' ';
    if (token == ")")
      unfinished += std::string(static_cast<std::size_t>(stringDepth_), ')');
    else
      unfinished += token;
    for (auto open = containers_.rbegin(); open != containers_.rend(); ++open)
      unfinished += *open == '[' ? " ]" : " >>";
    return scan_;
  }

  std::string_view content_;
  std::size_t at_ = 0;
  ContentScan scan_;
  std::string_view lastName_;
  std::vector<char> containers_;  // '[' or '<' for each open array or dictionary
  long long stringDepth_ = 0;
  bool escapeOpen_ = false;
};

}  // namespace

ContentScan ScanContent(std::string_view content) {
  return Scanner(content).Run();
}

std::string IsolatingPrefix(const ContentScan& scan) {
  std::string prefix;
  for (long long i = 0; i <= scan.unmatchedRestores; ++i)
    prefix += "q\n";
  return prefix;
}

std::string IsolatingSuffix(const ContentScan& scan) {
  std::string suffix = "\n" + scan.unfinished + "\n";
  if (scan.openText)
    suffix += "ET\n";
  for (long long i = 0; i < scan.openMarked; ++i)
    suffix += "EMC\n";
  for (long long i = 0; i < scan.openCompatibility; ++i)
    suffix += "EX\n";
  // The page's own saves, then the one the prefix kept for the page.
  for (long long i = 0; i <= scan.openSaves; ++i)
    suffix += "Q\n";
  return suffix;
}

}  // namespace pdf::text
