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
    if (Prunable(page))
      page.removeUnreferencedResources();
    else
      ++kept;
  }
  return kept;
}

}  // namespace pdf::editing
