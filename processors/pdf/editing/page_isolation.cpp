#include "processors/pdf/editing/page_isolation.h"

namespace pdf::editing {

const text::ContentScan& PageIsolation::Scan(QPDFPageObjectHelper& page) {
  QPDFObjectHandle contents = page.getObjectHandle().getKey("/Contents");
  std::vector<QPDFObjectHandle> streams =
      contents.isArray() ? contents.getArrayAsVector() : std::vector<QPDFObjectHandle>{contents};
  std::vector<QPDFObjGen> key;
  for (QPDFObjectHandle& stream : streams)
    key.push_back(stream.getObjGen());
  auto known = scans_.find(key);
  if (known != scans_.end())
    return known->second;
  // Readers run a page's content streams as one; what one leaves open goes on in the next.
  std::string content;
  for (QPDFObjectHandle& stream : streams) {
    // Content no reader can decode draws nothing and leaves nothing open.
    if (!stream.isStream() || !document::DecodableAt(stream, qpdf_dl_specialized))
      continue;
    content += document::DecodeWithin(stream, qpdf_dl_specialized, decoding_, label_);
    content += '\n';
  }
  return scans_[key] = text::ScanContent(content);
}

void PageIsolation::DrawOver(QPDFPageObjectHelper& page, const std::string& over) {
  text::ContentScan scan = Scan(page);
  page.addPageContents(QPDFObjectHandle::newStream(&pdf_, text::IsolatingPrefix(scan)), true);
  page.addPageContents(QPDFObjectHandle::newStream(&pdf_, text::IsolatingSuffix(scan) + over),
                       false);
}

}  // namespace pdf::editing
