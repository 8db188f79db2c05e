#include "platform/kqtypes/local_path.h"

#include <cctype>
#include <stdexcept>

#include "platform/kqtypes/equals_ignoring_case.h"

namespace kq_url {

namespace {

using kq_text::EqualsIgnoringCase;

bool IsSchemeChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '+' || c == '-' || c == '.';
}

// The length of the scheme before ':', or 0 when the text has none. One letter before the
// colon is a drive letter.
std::size_t SchemeLength(std::string_view text) {
  if (text.empty() || std::isalpha(static_cast<unsigned char>(text[0])) == 0)
    return 0;
  std::size_t i = 1;
  while (i < text.size() && IsSchemeChar(text[i]))
    ++i;
  if (i >= text.size() || text[i] != ':' || i < 2)
    return 0;
  return i;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

std::string PercentDecoded(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size())
      throw std::invalid_argument("has an invalid percent escape");
    int high = HexValue(text[i + 1]);
    int low = HexValue(text[i + 2]);
    if (high < 0 || low < 0)
      throw std::invalid_argument("has an invalid percent escape");
    char decoded = static_cast<char>(high * 16 + low);
    if (decoded == '\0')
      throw std::invalid_argument("has an escaped NUL byte");
    out += decoded;
    i += 2;
  }
  return out;
}

bool StartsWithDrive(std::string_view path) {
  return path.size() >= 3 && path[0] == '/' && std::isalpha(static_cast<unsigned char>(path[1])) &&
         (path[2] == ':' || path[2] == '|');
}

std::string WithBackslashes(std::string path) {
  for (char& c : path) {
    if (c == '/')
      c = '\\';
  }
  return path;
}

}  // namespace

std::string LocalPathOf(std::string_view url, PathStyle style) {
  if (url.empty())
    throw std::invalid_argument("is empty");
  std::size_t scheme = SchemeLength(url);
  if (scheme == 0)
    return std::string(url);
  if (!EqualsIgnoringCase(url.substr(0, scheme), "file"))
    throw std::invalid_argument("is not a file URL");
  std::string_view rest = url.substr(scheme + 1);
  if (rest.find_first_of("?#") != std::string_view::npos)
    throw std::invalid_argument("has a query or fragment");

  std::string_view host;
  if (rest.substr(0, 2) == "//") {
    rest.remove_prefix(2);
    std::size_t slash = rest.find('/');
    host = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
  }
  if (rest.empty() || rest[0] != '/')
    throw std::invalid_argument("names no absolute path");
  std::string path = PercentDecoded(rest);
  bool localHost = host.empty() || EqualsIgnoringCase(host, "localhost");

  if (style == PathStyle::kPosix) {
    if (!localHost)
      throw std::invalid_argument("names the host " + std::string(host) + ", not this machine");
    return path;
  }
  if (!localHost)
    return "\\\\" + std::string(host) + WithBackslashes(path);
  if (StartsWithDrive(path)) {
    path.erase(0, 1);
    path[1] = ':';
  }
  return WithBackslashes(path);
}

}  // namespace kq_url
