// libFuzzer target: a document's XMP packet, read and updated. A packet that is read can be
// updated, and what the update writes must read again, giving the values just set: a change
// of metadata never leaves a packet that the next read refuses.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "processors/pdf/text/pdf_error.h"
#include "processors/pdf/xmp/xmp_packet.h"

namespace {

std::optional<std::string> Property(
    const std::vector<std::pair<std::string, std::string>>& properties, const std::string& name) {
  for (const auto& [key, value] : properties)
    if (key == name)
      return value;
  return std::nullopt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string packet(reinterpret_cast<const char*>(data), size);
  try {
    pdf::xmp::ReadXmpProperties(packet);
  } catch (const pdf::PdfError&) {
    return 0;
  }
  const std::map<std::string, std::optional<std::string>> changes = {
      {"Title", "Fuzz <title> & \"more\""},
      {"Author", std::nullopt},
      {"Keywords", "one, two; three"},
      {"ModDate", "2026-12-10T08:00:00Z"}};
  std::string updated;
  try {
    updated = pdf::xmp::UpdateXmp(packet, changes);
  } catch (const pdf::PdfError&) {
    // An update may refuse a packet that grows past the size limit.
    return 0;
  }
  std::vector<std::pair<std::string, std::string>> after;
  try {
    after = pdf::xmp::ReadXmpProperties(updated);
  } catch (const pdf::PdfError&) {
    std::abort();
  }
  if (Property(after, "title") != "Fuzz <title> & \"more\"" || Property(after, "creator") ||
      Property(after, "modifyDate") != "2026-12-10T08:00:00Z")
    std::abort();
  return 0;
}
