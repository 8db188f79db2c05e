#include "processors/pdf/document/page_box.h"

#include <cmath>

#include "processors/pdf/text/pdf_error.h"

namespace pdf::document {

QPDFObjectHandle::Rectangle UsableCropBox(QPDFPageObjectHelper& page, int number,
                                          const std::string& label) {
  QPDFObjectHandle::Rectangle box = page.getCropBox().getArrayAsRectangle();
  for (double corner : {box.llx, box.lly, box.urx, box.ury})
    if (!std::isfinite(corner) || std::fabs(corner) > kMaxPageCoordinate)
      throw PdfError("file \"" + label + "\": page " + std::to_string(number) +
                     " has no usable size (its MediaBox or CropBox holds a number that is "
                     "infinite, not a number or beyond 1000000 points)");
  return box;
}

}  // namespace pdf::document
