#include "processors/pdf/html/page_files.h"

#include <cctype>
#include <map>

#include "platform/os/folder_files.h"
#include "platform/os/piped_program.h"
#include "processors/pdf/html/html_settings.h"

namespace pdf::html {
namespace {

bool Unreserved(unsigned char c) {
  return std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

std::string Lower(std::string text) {
  for (char& c : text)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

std::string EncodeUrlPath(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (unsigned char c : text) {
    if (Unreserved(c)) {
      encoded += static_cast<char>(c);
    } else {
      encoded += '%';
      encoded += kHex[c >> 4];
      encoded += kHex[c & 15];
    }
  }
  return encoded;
}

std::optional<std::string> DecodeUrlPath(const std::string& text) {
  std::string decoded;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      decoded += text[i];
      continue;
    }
    if (i + 2 >= text.size())
      return std::nullopt;
    int high = HexDigit(text[i + 1]), low = HexDigit(text[i + 2]);
    if (high < 0 || low < 0 || (high == 0 && low == 0))
      return std::nullopt;
    decoded += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return decoded;
}

std::string ContentTypeOf(const std::string& name) {
  static const std::map<std::string, std::string> kTypes{{"html", "text/html; charset=utf-8"},
                                                         {"htm", "text/html; charset=utf-8"},
                                                         {"xhtml", "application/xhtml+xml"},
                                                         {"css", "text/css"},
                                                         {"js", "text/javascript"},
                                                         {"mjs", "text/javascript"},
                                                         {"json", "application/json"},
                                                         {"txt", "text/plain; charset=utf-8"},
                                                         {"svg", "image/svg+xml"},
                                                         {"png", "image/png"},
                                                         {"jpg", "image/jpeg"},
                                                         {"jpeg", "image/jpeg"},
                                                         {"gif", "image/gif"},
                                                         {"webp", "image/webp"},
                                                         {"avif", "image/avif"},
                                                         {"ico", "image/x-icon"},
                                                         {"bmp", "image/bmp"},
                                                         {"woff", "font/woff"},
                                                         {"woff2", "font/woff2"},
                                                         {"ttf", "font/ttf"},
                                                         {"otf", "font/otf"},
                                                         {"xml", "application/xml"},
                                                         {"md", "text/markdown; charset=utf-8"}};
  std::size_t dot = name.rfind('.');
  std::size_t slash = name.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
    return "application/octet-stream";
  auto type = kTypes.find(Lower(name.substr(dot + 1)));
  return type == kTypes.end() ? "application/octet-stream" : type->second;
}

PageFiles::PageFiles(const run::PathResolver& paths, std::string baseFolder,
                     std::string baseRelative, std::vector<std::string> allowedOrigins,
                     long long maxBytes)
    : paths_(paths),
      baseFolder_(std::move(baseFolder)),
      baseRelative_(std::move(baseRelative)),
      allowedOrigins_(std::move(allowedOrigins)),
      maxBytes_(maxBytes) {
  while (baseFolder_.size() > 1 && baseFolder_.back() == '/')
    baseFolder_.pop_back();
}

std::string PageFiles::UrlOf(const std::string& relative) const {
  return "file://" +
         EncodeUrlPath(baseFolder_ == "/" ? "/" + relative : baseFolder_ + "/" + relative);
}

void PageFiles::Provide(const std::string& url, std::string html) {
  provided_.emplace(url, std::move(html));
}

office::QuestionReply PageFiles::Refuse(const std::string& reason) const {
  office::QuestionReply reply;
  reply.message.Add("status", "refused");
  reply.message.Add("reason", reason);
  return reply;
}

office::QuestionReply PageFiles::Hand(os::FileHandle file, const std::string& contentType) {
  long long size = static_cast<long long>(os::Describe(file).size);
  if (handed_ + size > maxBytes_)
    return Refuse("the page's files would hold more than VTPS_HTML_MAX_INPUT_BYTES allows (" +
                  std::to_string(maxBytes_) + " bytes)");
  handed_ += size;
  office::QuestionReply reply;
  reply.message.Add("status", "file");
  reply.message.Add("contentType", contentType);
  reply.message.Add("size", std::to_string(size));
  reply.file = std::move(file);
  return reply;
}

office::QuestionReply PageFiles::Answer(const office::EngineMessage& question) {
  const std::string url = question.Get("url").value_or("");
  if (provided_ && url == provided_->first) {
    // The page the processor made goes as an unnamed file in memory.
    os::FileHandle file = os::FileOfBytes(provided_->second);
    if (!file.Valid())
      return Refuse("cannot hold the page the processor made");
    return Hand(std::move(file), "text/html; charset=utf-8");
  }
  const std::string lower = Lower(url);
  if (lower.rfind("data:", 0) == 0 || lower.rfind("blob:", 0) == 0) {
    office::QuestionReply reply;
    reply.message.Add("status", "continue");
    return reply;
  }
  if (lower.rfind("file://", 0) != 0) {
    std::string origin = OriginOf(url);
    for (const std::string& allowed : allowedOrigins_) {
      if (!origin.empty() && origin == allowed) {
        office::QuestionReply reply;
        reply.message.Add("status", "continue");
        return reply;
      }
    }
    return Refuse(origin.empty()
                      ? "only files beside the document are served"
                      : "the origin " + origin + " is not allowed (VTPS_HTML_ALLOW_ORIGINS)");
  }
  // file://HOST/PATH: only the local host, without one.
  std::string rest = url.substr(7);
  if (rest.empty() || rest.front() != '/')
    return Refuse("a file: address must name a local file");
  rest = rest.substr(0, rest.find_first_of("?#"));
  std::optional<std::string> path = DecodeUrlPath(rest);
  if (!path)
    return Refuse("the address is malformed");
  const std::string prefix = baseFolder_ == "/" ? "/" : baseFolder_ + "/";
  if (path->compare(0, prefix.size(), prefix) != 0 || path->size() == prefix.size())
    return Refuse("outside the folder the page's files must be in");
  std::string relative = path->substr(prefix.size());
  // Decoded, an address may hold segments the browser kept encoded ("..%2F"): none may step
  // out, in either mode (without a root the path is used as given).
  for (std::size_t start = 0; start <= relative.size();) {
    std::size_t end = relative.find('/', start);
    std::string segment = relative.substr(start, end == std::string::npos ? end : end - start);
    if (segment.empty() || segment == "." || segment == "..")
      return Refuse("the address holds an empty, \".\" or \"..\" segment");
    if (end == std::string::npos)
      break;
    start = end + 1;
  }
  if (!baseRelative_.empty())
    relative = baseRelative_ + "/" + relative;
  try {
    os::FileHandle file = paths_.OpenFile(relative, "a file the page asks for");
    return Hand(std::move(file), ContentTypeOf(relative));
  } catch (const PdfError& e) {
    return Refuse(e.what());
  }
}

}  // namespace pdf::html
