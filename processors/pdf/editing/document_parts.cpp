#include "processors/pdf/editing/document_parts.h"

#include <qpdf/QPDFAcroFormDocumentHelper.hh>
#include <qpdf/QPDFPageLabelDocumentHelper.hh>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace pdf::editing {

namespace {

// `object` of another document as an object of `to`: indirect objects through qpdf's copy
// (which copies each source object once, so references the pages hold and references made
// here meet in the same copy), containers rebuilt around their copied elements, scalars as
// they are.
QPDFObjectHandle Localized(QPDF& to, QPDFObjectHandle object) {
  if (object.isIndirect())
    return to.copyForeignObject(object);
  if (object.isArray()) {
    QPDFObjectHandle array = QPDFObjectHandle::newArray();
    for (QPDFObjectHandle element : object.aitems())
      array.appendItem(Localized(to, element));
    return array;
  }
  if (object.isDictionary()) {
    QPDFObjectHandle dictionary = QPDFObjectHandle::newDictionary();
    for (const auto& [key, value] : object.ditems())
      dictionary.replaceKey(key, Localized(to, value));
    return dictionary;
  }
  return object.shallowCopy();
}

// The elements of `object` when it is an array, else none (asking a non-array for its
// elements would leave a warning in the document, which the damage watch counts).
std::vector<QPDFObjectHandle> Elements(QPDFObjectHandle object) {
  return object.isArray() ? object.getArrayAsVector() : std::vector<QPDFObjectHandle>{};
}

// The documents the pages come from, each once, in the order their first page comes.
std::vector<QPDF*> Sources(const std::vector<CopiedPage>& pages) {
  std::vector<QPDF*> sources;
  std::set<QPDF*> seen;
  for (const CopiedPage& page : pages) {
    if (seen.insert(page.source).second)
      sources.push_back(page.source);
  }
  return sources;
}

void CarryForms(QPDF& assembled, const std::vector<CopiedPage>& pages) {
  std::map<QPDF*, std::unique_ptr<QPDFAcroFormDocumentHelper>> inputs;
  std::unique_ptr<QPDFAcroFormDocumentHelper> output;
  bool needAppearances = false;
  for (const CopiedPage& page : pages) {
    std::unique_ptr<QPDFAcroFormDocumentHelper>& input = inputs[page.source];
    if (!input)
      input = std::make_unique<QPDFAcroFormDocumentHelper>(*page.source);
    if (!input->hasAcroForm())
      continue;
    if (!output)
      output = std::make_unique<QPDFAcroFormDocumentHelper>(assembled);
    output->fixCopiedAnnotations(page.to, page.from, *input);
    needAppearances = needAppearances || input->getNeedAppearances();
  }
  // Pages without fields give the output no form, and qpdf only warns (which the damage
  // watch takes for damage) when asked to set a flag of a form there is not.
  if (needAppearances && output->hasAcroForm())
    output->setNeedAppearances(true);
}

// The inputs' optional content as one set of properties: every input's layers, and in the
// default configuration every layer an input hides hidden (an input hiding all but the
// layers it names has the others listed as hidden), the inputs' orders, radio-button groups
// and locked layers one after the other. The first input's other entries (name, creator,
// list mode, intent, usage) stand for all; alternate configurations are not carried.
void CarryOptionalContent(QPDF& assembled, const std::vector<CopiedPage>& pages) {
  QPDFObjectHandle layers = QPDFObjectHandle::newArray();
  QPDFObjectHandle hidden = QPDFObjectHandle::newArray();
  QPDFObjectHandle configuration;
  const char* const kJoined[] = {"/Order", "/RBGroups", "/Locked"};
  for (QPDF* source : Sources(pages)) {
    QPDFObjectHandle properties = source->getRoot().getKey("/OCProperties");
    if (!properties.isDictionary())
      continue;
    QPDFObjectHandle defaults = properties.getKey("/D");
    if (!defaults.isDictionary())
      defaults = QPDFObjectHandle::newDictionary();
    std::set<QPDFObjGen> shown;
    for (QPDFObjectHandle group : Elements(defaults.getKey("/ON")))
      shown.insert(group.getObjGen());
    std::set<QPDFObjGen> off;
    for (QPDFObjectHandle group : Elements(defaults.getKey("/OFF")))
      off.insert(group.getObjGen());
    bool baseOff = defaults.getKey("/BaseState").isNameAndEquals("/OFF");
    for (QPDFObjectHandle group : Elements(properties.getKey("/OCGs"))) {
      if (!group.isIndirect())
        continue;  // a layer is an indirect dictionary; anything else cannot be referred to
      QPDFObjectHandle copied = assembled.copyForeignObject(group);
      layers.appendItem(copied);
      QPDFObjGen id = group.getObjGen();
      if (baseOff ? shown.count(id) == 0 : off.count(id) != 0)
        hidden.appendItem(copied);
    }
    if (!configuration.isInitialized()) {
      configuration = QPDFObjectHandle::newDictionary();
      for (const auto& [key, value] : defaults.ditems()) {
        if (key != "/ON" && key != "/OFF" && key != "/BaseState")
          configuration.replaceKey(key, Localized(assembled, value));
      }
      continue;
    }
    for (const char* key : kJoined) {
      std::vector<QPDFObjectHandle> more = Elements(defaults.getKey(key));
      if (more.empty())
        continue;
      QPDFObjectHandle joined = configuration.getKey(key);
      if (!joined.isArray()) {
        joined = QPDFObjectHandle::newArray();
        configuration.replaceKey(key, joined);
      }
      for (QPDFObjectHandle element : more)
        joined.appendItem(Localized(assembled, element));
    }
  }
  if (!configuration.isInitialized())
    return;
  if (hidden.getArrayNItems() > 0)
    configuration.replaceKey("/OFF", hidden);
  QPDFObjectHandle properties = QPDFObjectHandle::newDictionary();
  properties.replaceKey("/OCGs", layers);
  properties.replaceKey("/D", configuration);
  assembled.getRoot().replaceKey("/OCProperties", properties);
}

// Page labels, when any input has them: each run of consecutive pages of one input gets
// the labels qpdf gives those pages in a new document, and pages of an input without labels
// are numbered as in that input (decimal, from their page number there).
void CarryPageLabels(QPDF& assembled, const std::vector<CopiedPage>& pages) {
  std::map<QPDF*, std::unique_ptr<QPDFPageLabelDocumentHelper>> labels;
  bool any = false;
  for (QPDF* source : Sources(pages)) {
    auto& helper = labels[source];
    helper = std::make_unique<QPDFPageLabelDocumentHelper>(*source);
    any = any || helper->hasPageLabels();
  }
  if (!any)
    return;
  std::vector<QPDFObjectHandle> numbers;
  for (std::size_t first = 0; first < pages.size();) {
    std::size_t last = first;
    while (last + 1 < pages.size() && pages[last + 1].source == pages[first].source &&
           pages[last + 1].fromIndex == pages[last].fromIndex + 1)
      ++last;
    QPDFPageLabelDocumentHelper& helper = *labels[pages[first].source];
    if (helper.hasPageLabels()) {
      helper.getLabelsForPageRange(pages[first].fromIndex, pages[last].fromIndex,
                                   static_cast<long long>(first), numbers);
    } else {
      // (qpdf 11.3's getLabelsForPageRange would read the missing tree and crash.)
      numbers.push_back(QPDFObjectHandle::newInteger(static_cast<long long>(first)));
      QPDFObjectHandle label = QPDFObjectHandle::newDictionary();
      label.replaceKey("/S", QPDFObjectHandle::newName("/D"));
      label.replaceKey("/St", QPDFObjectHandle::newInteger(pages[first].fromIndex + 1));
      numbers.push_back(label);
    }
    first = last + 1;
  }
  QPDFObjectHandle nums = QPDFObjectHandle::newArray();
  for (QPDFObjectHandle& number : numbers)
    nums.appendItem(Localized(assembled, number));
  QPDFObjectHandle tree = QPDFObjectHandle::newDictionary();
  tree.replaceKey("/Nums", nums);
  assembled.getRoot().replaceKey("/PageLabels", tree);
}

}  // namespace

void CarryDocumentParts(QPDF& assembled, const std::vector<CopiedPage>& pages) {
  CarryForms(assembled, pages);
  CarryOptionalContent(assembled, pages);
  CarryPageLabels(assembled, pages);
}

}  // namespace pdf::editing
