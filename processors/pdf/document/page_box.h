// The box of a page as the operations measure and place things on it: its crop box (the
// media box where it has none), refused when a corner is not a finite number or lies farther
// than kMaxPageCoordinate from the origin, which only damage gives (about 350 m). Pure
// function of the page's objects; use from one thread.
#pragma once

#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <string>

namespace pdf::document {

// Points from the origin beyond which a page's corner is taken for damage.
constexpr double kMaxPageCoordinate = 1e6;

// The crop box of `page`, page `number` of the file `label`. Throws PdfError naming the file
// and page when a corner is infinite, not a number, or beyond kMaxPageCoordinate.
QPDFObjectHandle::Rectangle UsableCropBox(QPDFPageObjectHelper& page, int number,
                                          const std::string& label);

}  // namespace pdf::document
