#include "processors/pdf/document/pdfa_claim.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <utility>
#include <vector>

#include "processors/pdf/text/pdf_date.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::document {
namespace {

constexpr const char* kPdfaNamespace = "http://www.aiim.org/pdfa/ns/id/";
constexpr const char* kXmpNamespace = "http://ns.adobe.com/xap/1.0/";
// A packet larger than this is no metadata a conformant file carries whole; it is not read.
constexpr long long kMaxPacketBytes = 4LL << 20;

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The prefixes `packet` binds to `uri` (xmlns:prefix="uri"), or `fallback` alone when it
// binds none.
std::vector<std::string> PrefixesOf(const std::string& packet, const std::string& uri,
                                    const std::string& fallback) {
  std::vector<std::string> prefixes;
  for (std::size_t at = packet.find(uri); at != std::string::npos; at = packet.find(uri, at + 1)) {
    // ...xmlns:prefix="uri" or ='uri'
    if (at < 2 || (packet[at - 1] != '"' && packet[at - 1] != '\''))
      continue;
    std::size_t equals = at - 2;
    while (equals > 0 && IsSpace(packet[equals]))
      --equals;
    if (packet[equals] != '=')
      continue;
    std::size_t end = equals;
    while (end > 0 && IsSpace(packet[end - 1]))
      --end;
    std::size_t start = end;
    while (start > 0 && !IsSpace(packet[start - 1]) && packet[start - 1] != '<')
      --start;
    std::string name = packet.substr(start, end - start);
    if (name.rfind("xmlns:", 0) == 0 && name.size() > 6)
      prefixes.push_back(name.substr(6));
  }
  if (prefixes.empty())
    prefixes.push_back(fallback);
  return prefixes;
}

// The ranges of the values `qualifiedName` has in `packet`: the text of its elements
// (<name>value</name>) and of its attributes (name="value").
std::vector<std::pair<std::size_t, std::size_t>> ValueRanges(const std::string& packet,
                                                             const std::string& qualifiedName) {
  std::vector<std::pair<std::size_t, std::size_t>> ranges;
  std::string open = "<" + qualifiedName + ">";
  std::string close = "</" + qualifiedName + ">";
  for (std::size_t at = packet.find(open); at != std::string::npos;
       at = packet.find(open, at + 1)) {
    std::size_t start = at + open.size();
    std::size_t end = packet.find(close, start);
    if (end != std::string::npos && packet.find('<', start) == end)
      ranges.emplace_back(start, end);
  }
  for (std::size_t at = packet.find(qualifiedName); at != std::string::npos;
       at = packet.find(qualifiedName, at + 1)) {
    if (at == 0 || !IsSpace(packet[at - 1]))
      continue;
    std::size_t next = at + qualifiedName.size();
    while (next < packet.size() && IsSpace(packet[next]))
      ++next;
    if (next >= packet.size() || packet[next] != '=')
      continue;
    ++next;
    while (next < packet.size() && IsSpace(packet[next]))
      ++next;
    if (next >= packet.size() || (packet[next] != '"' && packet[next] != '\''))
      continue;
    std::size_t end = packet.find(packet[next], next + 1);
    if (end != std::string::npos)
      ranges.emplace_back(next + 1, end);
  }
  std::sort(ranges.begin(), ranges.end());
  return ranges;
}

std::optional<std::string> FirstValue(const std::string& packet,
                                      const std::vector<std::string>& prefixes,
                                      const std::string& localName) {
  for (const std::string& prefix : prefixes) {
    auto ranges = ValueRanges(packet, prefix + ":" + localName);
    if (ranges.empty())
      continue;
    std::string value = packet.substr(ranges[0].first, ranges[0].second - ranges[0].first);
    std::size_t first = value.find_first_not_of(" \t\r\n");
    std::size_t last = value.find_last_not_of(" \t\r\n");
    return first == std::string::npos ? "" : value.substr(first, last - first + 1);
  }
  return std::nullopt;
}

// The catalog's metadata stream of `pdf` and its packet, if it has a stream of a size worth
// reading.
std::optional<std::pair<QPDFObjectHandle, std::string>> MetadataPacket(QPDF& pdf, RunLimits& limits,
                                                                       const std::string& label) {
  QPDFObjectHandle metadata = pdf.getRoot().getKey("/Metadata");
  if (!metadata.isStream() || !DecodableAt(metadata, qpdf_dl_specialized))
    return std::nullopt;
  QPDFObjectHandle length = metadata.getDict().getKey("/Length");
  if (length.isInteger() && length.getIntValue() > kMaxPacketBytes)
    return std::nullopt;
  std::string packet = DecodeWithin(metadata, qpdf_dl_specialized, limits.decoding, label);
  if (static_cast<long long>(packet.size()) > kMaxPacketBytes)
    return std::nullopt;
  return std::make_pair(metadata, std::move(packet));
}

}  // namespace

std::string PdfaClaim::Name() const {
  std::string name = "PDF/A-" + std::to_string(part);
  for (char c : conformance)
    name += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return name;
}

std::optional<PdfaClaim> FindPdfaClaim(const std::string& packet) {
  std::vector<std::string> prefixes = PrefixesOf(packet, kPdfaNamespace, "pdfaid");
  std::optional<std::string> part = FirstValue(packet, prefixes, "part");
  if (!part || part->size() != 1 || (*part)[0] < '1' || (*part)[0] > '9')
    return std::nullopt;
  PdfaClaim claim;
  claim.part = (*part)[0] - '0';
  claim.conformance = FirstValue(packet, prefixes, "conformance").value_or("");
  if (claim.conformance.size() > 1)
    claim.conformance.clear();
  return claim;
}

std::string WithXmpDates(const std::string& packet, const std::string& isoDate, bool modifyDate) {
  std::vector<std::pair<std::size_t, std::size_t>> ranges;
  for (const std::string& prefix : PrefixesOf(packet, kXmpNamespace, "xmp")) {
    std::vector<std::string> names = {prefix + ":MetadataDate"};
    if (modifyDate)
      names.push_back(prefix + ":ModifyDate");
    for (const std::string& name : names) {
      auto found = ValueRanges(packet, name);
      ranges.insert(ranges.end(), found.begin(), found.end());
    }
  }
  std::sort(ranges.begin(), ranges.end());
  std::string result;
  std::size_t copied = 0;
  for (const auto& [start, end] : ranges) {
    if (start < copied)
      continue;
    result.append(packet, copied, start - copied);
    result += isoDate;
    copied = end;
  }
  result.append(packet, copied, std::string::npos);
  return result;
}

std::optional<PdfaClaim> DeclaredPdfa(QPDF& pdf, RunLimits& limits, const std::string& label) {
  std::optional<std::pair<QPDFObjectHandle, std::string>> metadata =
      MetadataPacket(pdf, limits, label);
  if (!metadata)
    return std::nullopt;
  return FindPdfaClaim(metadata->second);
}

void StampPdfaDates(QPDF& pdf, RunLimits& limits, const std::string& label,
                    const std::string& isoDate, bool modifyDate) {
  if (std::optional<std::pair<QPDFObjectHandle, std::string>> metadata =
          MetadataPacket(pdf, limits, label)) {
    std::string stamped = WithXmpDates(metadata->second, isoDate, modifyDate);
    if (stamped != metadata->second)
      metadata->first.replaceStreamData(stamped, QPDFObjectHandle::newNull(),
                                        QPDFObjectHandle::newNull());
  }
  QPDFObjectHandle info = pdf.getTrailer().getKey("/Info");
  std::optional<std::string> pdfDate = text::IsoToPdfDate(isoDate);
  if (modifyDate && pdfDate && info.isDictionary() && info.hasKey("/ModDate"))
    info.replaceKey("/ModDate", QPDFObjectHandle::newString(*pdfDate));
}

std::string UtcNow() {
  using namespace std::chrono;
  auto now = floor<seconds>(system_clock::now());
  auto day = floor<days>(now);
  year_month_day date{day};
  hh_mm_ss time{now - day};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02ld:%02ld:%02lldZ",
                static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                static_cast<unsigned>(date.day()), static_cast<long>(time.hours().count()),
                static_cast<long>(time.minutes().count()),
                static_cast<long long>(time.seconds().count()));
  return text;
}

}  // namespace pdf::document
