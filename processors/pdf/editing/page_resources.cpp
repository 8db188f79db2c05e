#include "processors/pdf/editing/page_resources.h"

namespace pdf::editing {

QPDFObjectHandle OwnResourceCategory(QPDFPageObjectHelper& page, const std::string& category,
                                     QPDFObjectHandle& resources) {
  resources = page.getAttribute("/Resources", true);
  if (!resources.isDictionary()) {
    resources = QPDFObjectHandle::newDictionary();
    page.getObjectHandle().replaceKey("/Resources", resources);
  }
  QPDFObjectHandle entries = resources.getKey(category);
  if (!entries.isDictionary()) {
    entries = QPDFObjectHandle::newDictionary();
    resources.replaceKey(category, entries);
  }
  return entries;
}

}  // namespace pdf::editing
