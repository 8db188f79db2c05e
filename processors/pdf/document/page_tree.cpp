#include "processors/pdf/document/page_tree.h"

#include <set>
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

}  // namespace

long long CountPageTreeLeaves(QPDF& pdf, const std::string& label, long long maxPages) {
  std::string file = "file \"" + label + "\"";
  QPDFObjectHandle root = pdf.getRoot().getKey("/Pages");
  if (!root.isDictionary())
    return 0;
  long long pages = 0;
  std::vector<Frame> path;
  // Every inner node entered: each indirect one may be entered once, so the walk's inner
  // nodes are bounded by the document's objects.
  std::set<QPDFObjGen> entered;

  auto enter = [&](QPDFObjectHandle node) {
    if (!node.isDictionary() || !node.hasKey("/Kids")) {
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

}  // namespace pdf::document
