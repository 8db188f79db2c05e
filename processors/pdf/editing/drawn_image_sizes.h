// How large a document's images are drawn: each page's content stream is followed with its
// transformation matrix (q, Q, cm, and the form XObjects it draws, nested to a bound) up to
// each Do of an image, and the image's drawn size is the largest over all its uses, per side.
// An image whose size cannot be known everywhere it may be drawn (from a pattern, a Type3
// glyph, a soft mask, an annotation, a form field, or a content stream that fails to parse,
// draws too many forms or nests too deep) is counted as unplaced. Use from one thread.
#pragma once

#include <qpdf/QPDF.hh>

#include <map>
#include <set>

namespace pdf::editing {

// The lengths of an image's sides on the page, in points of default user space times the
// page's UserUnit (the unit square's sides after the transformation matrix).
struct DrawnSize {
  double width = 0;   // of the side along the image's rows
  double height = 0;  // of the side along its columns
};

struct DrawnImages {
  std::map<QPDFObjGen, DrawnSize> sizes;  // images drawn from pages, their largest sizes
  std::set<QPDFObjGen> unplaced;          // images that may also be drawn at an unknown size
};

struct DrawnImageLimits {
  int maxFormDepth = 16;                  // forms within forms
  long long maxContentBytes = 256 << 20;  // content bytes parsed, all streams together
};

// The drawn sizes of the images of `pdf`'s pages. Never throws for what a page holds: a
// content stream that cannot be parsed (qpdf warns or fails) makes the images its resources
// reach unplaced, and passing a limit makes every image unplaced.
DrawnImages MeasureDrawnImages(QPDF& pdf, const DrawnImageLimits& limits = {});

}  // namespace pdf::editing
