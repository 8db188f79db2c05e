// libFuzzer target: the hostile names of embedded files, made file names to write them under.
// Every name made is one visible file name of at most kMaxAttachmentFileName bytes of valid
// UTF-8 without separators, control characters or ":", and no two attachments of one run
// get the same one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <set>
#include <string>

#include "processors/pdf/text/attachment_name.h"
#include "processors/pdf/text/utf8.h"

namespace {

void CheckFileName(const std::string& name) {
  if (name.empty() || name.size() > pdf::text::kMaxAttachmentFileName || name[0] == '.')
    std::abort();
  for (std::size_t at = 0; at < name.size();) {
    std::optional<char32_t> character = pdf::text::NextCharacter(name, at);
    if (!character || *character < 0x20 || *character == 0x7F || *character == '/' ||
        *character == '\\' || *character == ':')
      std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  std::string safe = pdf::text::SafeFileName(input);
  CheckFileName(safe);
  // The input cut at each NUL gives a run's names, several of them alike.
  pdf::text::AttachmentNames names([](const std::string& name) { return name.size() % 7 == 3; });
  std::set<std::string> given;
  std::size_t start = 0;
  for (int i = 0; i < 8 && start <= input.size(); ++i) {
    std::size_t end = input.find('\0', start);
    std::string name = input.substr(start, end == std::string::npos ? end : end - start);
    std::string next = names.Next(name);
    CheckFileName(next);
    if (!given.insert(next).second || next.size() % 7 == 3)
      std::abort();
    start = end == std::string::npos ? 0 : end + 1;
  }
  return 0;
}
