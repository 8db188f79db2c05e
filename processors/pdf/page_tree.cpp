#include "processors/pdf/page_tree.h"

#include <set>
#include <vector>

#include "processors/pdf/pdf_error.h"

namespace {

struct Frame {
  QPDFObjectHandle kids;
  int next = 0;
  int size = 0;
  bool indirect = false;
  QPDFObjGen id;
};

}  // namespace

long long CountPageTreeLeaves(QPDF& pdf, const std::string& label, long long maxPages) {
  std::string file = "file \"" + label + "\"";
  QPDFObjectHandle root = pdf.getRoot().getKey("/Pages");
  if (!root.isDictionary())
    return 0;
  // Inner nodes visited in a tree that shares them without adding pages still cost work.
  long long maxVisits = 4 * maxPages + static_cast<long long>(pdf.getObjectCount()) + 1;
  long long pages = 0;
  long long visits = 0;
  std::vector<Frame> path;
  std::set<QPDFObjGen> ancestors;

  auto enter = [&](QPDFObjectHandle node) {
    if (++visits > maxVisits)
      throw PdfError(file + ": its page tree is larger than " + std::to_string(maxPages) +
                     " pages allow (VTPS_PDF_MAX_PAGES)");
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
    if (frame.indirect) {
      frame.id = node.getObjGen();
      if (!ancestors.insert(frame.id).second)
        throw PdfError(file + " is damaged: its page tree contains itself (object " +
                       frame.id.unparse(' ') + ")");
    }
    path.push_back(frame);
  };

  enter(root);
  while (!path.empty()) {
    Frame& top = path.back();
    if (top.next == top.size) {
      if (top.indirect)
        ancestors.erase(top.id);
      path.pop_back();
      continue;
    }
    QPDFObjectHandle kid = top.kids.getArrayItem(top.next++);
    enter(kid);
  }
  return pages;
}
