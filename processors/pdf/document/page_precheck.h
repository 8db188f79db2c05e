// What poppler will decode and draw for the chosen pages, checked with qpdf before poppler
// sees them: every stream the pages use (content streams, forms, images, fonts, patterns,
// annotation appearances, found by walking the objects each page refers to, not following
// links to other pages) must decode within VTPS_PDF_MAX_STREAM_BYTES and the run's
// VTPS_PDF_MAX_DECODED_BYTES, and when the pages are to be drawn, no image (an image XObject
// or an inline image in any content stream) may declare more pixels than a page may have,
// by its dictionary or by its data's own header (JBIG2, JPEG 2000, JPEG), whichever is
// larger. Poppler decodes whole streams and draws declared image sizes, so this is where a
// small file stops being expensive. Inline images are checked for text extraction too:
// poppler reads past an inline image's declared size even when it draws nothing. With a
// drawing budget, what each page costs to draw is counted as it will be drawn
// (drawing_cost.h) and charged to it and to the decoding budget. Use from one thread.
#pragma once

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <string>
#include <string_view>
#include <vector>

namespace pdf::document {

// The pixels an image, and a rendered page, may have.
constexpr double kMaxPixelsPerPage = 100'000'000;

class DecodeBudget;
class DrawingBudget;

struct PageCheck {
  long long maxStreamBytes = 0;
  bool images = false;        // image XObjects are decoded and drawn (render)
  bool inlineImages = false;  // inline images are read (render, text)
  // The run's budgets, borrowed; without a decoding budget only maxStreamBytes bounds each
  // stream, without a drawing budget nothing is counted as drawn.
  DecodeBudget* decoding = nullptr;
  DrawingBudget* drawing = nullptr;
};

// Checks the 1-based `pages` of `pages`. Throws PdfError naming the file `label` and the
// setting or budget concerned on the first stream, image or page that passes it.
void CheckPagesBeforePoppler(const std::vector<QPDFPageObjectHelper>& pdfPages,
                             const std::vector<int>& pages, const PageCheck& check,
                             const std::string& label);

// Whether the decoded content stream `content` holds the token BI (white space or a delimiter
// on either side), which begins an inline image. False means it holds none; true may also
// come from BI inside a string or comment.
bool MayHoldInlineImage(std::string_view content);

}  // namespace pdf::document
