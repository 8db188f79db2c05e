// Content drawn over a page's own content in a graphics state the page cannot have changed.
// A page's content can leave behind what hides anything appended after it: a Q restoring
// more states than it saved (and so the state around it), a clip, a transformation or
// invisible text rendering left in force, a text object or string left open that swallows
// what follows. Before content is laid over the page, the page's content is scanned
// (text/content_scan.h): enough states are saved before it for its unmatched Q operators,
// and after it what it left open is closed and every state restored, so that the content
// laid over starts from the page's initial graphics state. Pages sharing their content
// streams are scanned once. Use from one thread; the object borrows the decoding budget.
#pragma once

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <map>
#include <string>
#include <vector>

#include "processors/pdf/document/decode_limit.h"
#include "processors/pdf/text/content_scan.h"

namespace pdf::editing {

class PageIsolation {
 public:
  // The page content of `pdf` (the file `label`) is decoded within `decoding`.
  PageIsolation(QPDF& pdf, document::DecodeBudget& decoding, std::string label)
      : pdf_(pdf), decoding_(decoding), label_(std::move(label)) {}

  // Adds `over` (content) after `page`'s own content, isolated from it. Throws PdfError as
  // document::DecodeWithin does for the page's content; qpdf's own exceptions pass.
  void DrawOver(QPDFPageObjectHelper& page, const std::string& over);

 private:
  const text::ContentScan& Scan(QPDFPageObjectHelper& page);

  QPDF& pdf_;
  document::DecodeBudget& decoding_;
  std::string label_;
  std::map<std::vector<QPDFObjGen>, text::ContentScan> scans_;
};

}  // namespace pdf::editing
