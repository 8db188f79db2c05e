#include "processors/pdf/document/page_tree.h"

#include <set>
#include <string>
#include <vector>

#include "processors/pdf/text/pdf_error.h"

namespace pdf::document {

namespace {

struct Frame {
  QPDFObjectHandle kids;
  int next = 0;
  int size = 0;
  bool indirect = false;
};

// Whether `node` is an inner node of the page tree rather than a page.
bool IsInnerNode(QPDFObjectHandle node) {
  if (!node.isDictionary() || !node.hasKey("/Kids"))
    return false;
  QPDFObjectHandle kids = node.getKey("/Kids");
  bool listsNothing = !kids.isArray() || kids.getArrayNItems() == 0;
  return !(listsNothing && node.isDictionaryOfType("/Page"));
}

// "a, b and c".
std::string Listed(const std::set<std::string>& items) {
  std::string text;
  std::size_t left = items.size();
  for (const std::string& item : items) {
    text += item;
    --left;
    text += left > 1 ? ", " : left == 1 ? " and " : "";
  }
  return text;
}

}  // namespace

long long CountPageTreeLeaves(QPDF& pdf, const std::string& label, long long maxPages) {
  std::string file = "file \"" + label + "\"";
  QPDFObjectHandle root = pdf.getRoot().getKey("/Pages");
  if (!root.isDictionary())
    return 0;
  // A root that is no node is the only page when it says it is one (MendPageTree).
  if (!IsInnerNode(root))
    return root.isDictionaryOfType("/Page") ? 1 : 0;
  long long pages = 0;
  std::vector<Frame> path;
  // Every inner node entered: each indirect one may be entered once, so the walk's inner
  // nodes are bounded by the document's objects.
  std::set<QPDFObjGen> entered;

  auto enter = [&](QPDFObjectHandle node) {
    if (!IsInnerNode(node)) {
      if (++pages > maxPages)
        throw PdfError(file + ": its page tree holds more than " + std::to_string(maxPages) +
                       " pages, the most this run may still read (VTPS_PDF_MAX_PAGES)");
      return;
    }
    Frame frame;
    frame.kids = node.getKey("/Kids");
    frame.size = frame.kids.isArray() ? frame.kids.getArrayNItems() : 0;
    frame.indirect = node.isIndirect();
    if (frame.indirect && !entered.insert(node.getObjGen()).second)
      throw PdfError(file + " is damaged: its page tree reaches node " +
                     node.getObjGen().unparse(' ') + " more than once");
    path.push_back(frame);
  };

  enter(root);
  while (!path.empty()) {
    Frame& top = path.back();
    if (top.next == top.size) {
      path.pop_back();
      continue;
    }
    QPDFObjectHandle kid = top.kids.getArrayItem(top.next++);
    enter(kid);
  }
  return pages;
}

std::string MendPageTree(QPDF& pdf) {
  QPDFObjectHandle catalog = pdf.getRoot();
  QPDFObjectHandle root = catalog.getKey("/Pages");
  if (!root.isDictionary())
    return "";
  std::set<std::string> found;
  auto mendPage = [&](QPDFObjectHandle page) {
    if (page.isDictionary() && page.hasKey("/Kids")) {
      page.removeKey("/Kids");
      found.insert("a page with an empty /Kids");
    }
  };
  if (!root.isIndirect()) {
    root = pdf.makeIndirectObject(root);
    catalog.replaceKey("/Pages", root);
    found.insert("its root written inside the catalog");
  }
  // A root that is neither a node nor says it is a page (a node without /Kids) holds no page.
  if (!IsInnerNode(root) && root.isDictionaryOfType("/Page")) {
    mendPage(root);
    found.insert("a page as its root");
    QPDFObjectHandle node =
        pdf.makeIndirectObject(QPDFObjectHandle::parse("<< /Type /Pages /Count 1 >>"));
    node.replaceKey("/Kids", QPDFObjectHandle::newArray({root}));
    root.replaceKey("/Parent", node);
    catalog.replaceKey("/Pages", node);
    return Listed(found);
  }
  std::vector<QPDFObjectHandle> nodes{root};
  std::set<QPDFObjGen> entered;
  while (!nodes.empty()) {
    QPDFObjectHandle node = nodes.back();
    nodes.pop_back();
    if (node.isIndirect() && !entered.insert(node.getObjGen()).second)
      continue;
    QPDFObjectHandle kids = node.getKey("/Kids");
    int size = kids.isArray() ? kids.getArrayNItems() : 0;
    for (int i = 0; i < size; ++i) {
      QPDFObjectHandle kid = kids.getArrayItem(i);
      if (kid.isDictionary() && !kid.isIndirect()) {
        kid = pdf.makeIndirectObject(kid);
        kids.setArrayItem(i, kid);
        found.insert("a page or node written inside its parent's /Kids");
      }
      if (IsInnerNode(kid))
        nodes.push_back(kid);
      else
        mendPage(kid);
    }
  }
  return Listed(found);
}

}  // namespace pdf::document
