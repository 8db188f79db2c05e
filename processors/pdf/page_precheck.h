// What poppler will decode and draw for the chosen pages, checked with qpdf before poppler
// sees them: every stream the pages use (content streams, forms, images, fonts, patterns,
// annotation appearances, found by walking the objects each page refers to, not following
// links to other pages) must decode within VTPS_PDF_MAX_STREAM_BYTES, and when the pages
// are to be drawn, no image (an image XObject or an inline image in any content stream)
// may declare more pixels than a page may have. Poppler decodes whole streams and draws
// declared image sizes, so this is where a small file stops being expensive. Inline images
// are checked for text extraction too: poppler reads past an inline image's declared size
// even when it draws nothing. Use from one thread.
#pragma once

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <string>
#include <string_view>
#include <vector>

// The pixels an image, and a rendered page, may have.
constexpr double kMaxPixelsPerPage = 100'000'000;

struct PageCheck {
  long long maxStreamBytes = 0;
  bool images = false;        // image XObjects are decoded and drawn (render)
  bool inlineImages = false;  // inline images are read (render, text)
};

// Checks the 1-based `pages` of `pages`. Throws PdfError naming the file `label` and the
// setting or budget concerned on the first stream or image that passes it.
void CheckPagesBeforePoppler(const std::vector<QPDFPageObjectHelper>& pdfPages,
                             const std::vector<int>& pages, const PageCheck& check,
                             const std::string& label);

// Whether the decoded content stream `content` holds the token BI (white space or a delimiter
// on either side), which begins an inline image. False means it holds none; true may also
// come from BI inside a string or comment.
bool MayHoldInlineImage(std::string_view content);
