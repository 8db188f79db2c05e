// What drawing a page costs poppler, counted as poppler will draw it rather than as the file
// stores it: the operators of the page's content, and of every form XObject each time it is
// drawn (a form drawn ten times by a form drawn ten times runs its content a hundred times),
// with a string counting an operator per 64 bytes of the glyphs it draws and each form drawn
// 100 operators more for what poppler sets up to draw it; the content bytes poppler decodes
// for that (it decodes a form again each time it draws it); and the pixels of every image each
// time it is drawn. The page's annotations' appearances count as forms drawn once. A form that
// draws itself, directly or not, is not drawn again (poppler refuses it), so a loop costs
// nothing more. Each content stream is scanned once however often it is drawn; the
// computation is linear in what the file stores.
//
// DrawingBudget bounds the operators one page, and all pages of one run, may draw
// (VTPS_PDF_MAX_PAGE_OPERATORS, VTPS_PDF_MAX_RUN_OPERATORS). Both objects are used from one
// thread; DrawingCost borrows the decoding budget, which must outlive it.
#pragma once

#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <map>
#include <string>
#include <utility>

#include "processors/pdf/document/decode_limit.h"
#include "processors/pdf/text/content_scan.h"

namespace pdf::document {

// The pixels a page may draw, every image counted each time it is drawn.
constexpr double kMaxDrawnPixelsPerPage = 1e9;

class DrawingBudget {
 public:
  DrawingBudget(long long maxPageOperators, long long maxRunOperators)
      : maxPageOperators_(maxPageOperators), maxRunOperators_(maxRunOperators) {}

  // Charges the `operators` page `number` of the file `label` draws. Throws PdfError naming
  // the file, the page and VTPS_PDF_MAX_PAGE_OPERATORS when they pass the page's limit, or
  // VTPS_PDF_MAX_RUN_OPERATORS when the run's pages together would.
  void ChargePage(double operators, int number, const std::string& label);

 private:
  long long maxPageOperators_;
  long long maxRunOperators_;
  double drawn_ = 0;
};

struct DrawnCost {
  double operators = 0;
  double contentBytes = 0;
  double pixels = 0;
};

class DrawingCost {
 public:
  // Content streams not yet scanned are decoded within `decoding` (charged there) as the
  // file `label`'s.
  DrawingCost(DecodeBudget& decoding, std::string label)
      : decoding_(decoding), label_(std::move(label)) {}

  // Records the scan of the content stream `stream` (decoded to `bytes` bytes), so that it
  // is not decoded again.
  void Remember(QPDFObjGen stream, text::ContentScan scan, long long bytes);
  // Records the pixels the image `image` declares (the larger of its dictionary's and its
  // data's size).
  void RememberImage(QPDFObjGen image, double pixels) { imagePixels_[image] = pixels; }

  // What drawing `page` costs; with `annotations`, its annotations' appearances too. Throws
  // PdfError as DecodeWithin does for a content stream it decodes.
  DrawnCost Page(QPDFPageObjectHelper& page, bool annotations);

 private:
  struct Scanned {
    text::ContentScan scan;
    long long bytes = 0;
  };
  // A form as drawn: the form, and the object whose resources its names are looked up in.
  using FormKey = std::pair<QPDFObjGen, QPDFObjGen>;

  const Scanned& Scan(QPDFObjectHandle stream);
  DrawnCost Form(QPDFObjectHandle form, QPDFObjectHandle resources, QPDFObjGen owner);

  DecodeBudget& decoding_;
  std::string label_;
  std::map<QPDFObjGen, Scanned> scans_;
  std::map<QPDFObjGen, double> imagePixels_;
  std::map<FormKey, DrawnCost> forms_;
};

}  // namespace pdf::document
