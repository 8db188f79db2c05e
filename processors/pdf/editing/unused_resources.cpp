#include "processors/pdf/editing/unused_resources.h"

#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <string>

namespace pdf::editing {

namespace {

bool DictionaryOrAbsent(QPDFObjectHandle resources) {
  return resources.isNull() || resources.isDictionary();
}

// Whether qpdf's pruning of `page` copies only dictionaries: the page's resources (inherited
// ones included) and those of every form it reaches, as qpdf's own walk reaches them.
bool Prunable(QPDFPageObjectHelper& page) {
  if (!DictionaryOrAbsent(page.getAttribute("/Resources", false)))
    return false;
  bool prunable = true;
  page.forEachFormXObject(true, [&](QPDFObjectHandle& form, QPDFObjectHandle&, const std::string&) {
    if (!DictionaryOrAbsent(form.getDict().getKey("/Resources")))
      prunable = false;
  });
  return prunable;
}

}  // namespace

int RemoveUnusedResources(QPDF& pdf) {
  int kept = 0;
  for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(pdf).getAllPages()) {
    if (!RemoveUnusedResources(page))
      ++kept;
  }
  return kept;
}

bool RemoveUnusedResources(QPDFPageObjectHelper& page) {
  if (!Prunable(page))
    return false;
  page.removeUnreferencedResources();
  return true;
}

long long ResourceEntries(QPDFPageObjectHelper& page) {
  QPDFObjectHandle resources = page.getAttribute("/Resources", false);
  if (!resources.isDictionary())
    return 0;
  long long entries = 0;
  for (const std::string& key : resources.getKeys()) {
    QPDFObjectHandle kind = resources.getKey(key);
    entries += kind.isDictionary() ? static_cast<long long>(kind.getKeys().size()) : 1;
  }
  return entries;
}

}  // namespace pdf::editing
