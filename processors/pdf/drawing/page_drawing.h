// Drawing a page with poppler at a resolution, for the operations that need its pixels
// (PdfRender writes them as PNG, PdfOcr reads text from them). The page's size at the
// resolution is checked against the pixel limit and the memory the drawing needs against
// VTPS_PDF_MAX_MEMORY_MB before anything is drawn, since poppler cannot report running out
// of memory; a drawing that comes back smaller than asked is taken as that failure. Use from
// one thread.
#pragma once

#include <poppler-document.h>
#include <poppler-image.h>
#include <poppler-page-renderer.h>
#include <poppler-page.h>

#include <memory>
#include <string>

namespace pdf::drawing {

struct PageDrawing {
  int number = 0;  // 1-based
  std::unique_ptr<poppler::page> page;
  long long width = 0;  // pixels, in the page's displayed orientation
  long long height = 0;
};

// Page `number` of `document` (the file `label`) prepared for drawing at `dpi`. The caller's
// own use of the drawing needs `extraBytesPerPixel` a pixel and `extraMb` more memory. Throws
// PdfError naming the file and page when poppler cannot read the page, when its size is unusable or
// passes the pixel limit (suggesting a lower `dpiParameter`), or when the drawing would not fit in
// `maxMemoryMb`.
PageDrawing PreparePageDrawing(poppler::document& document, int number, long long dpi,
                               const std::string& label, const std::string& dpiParameter,
                               long long maxMemoryMb, double extraBytesPerPixel = 0,
                               double extraMb = 0);

// Sets `renderer` up as the operations draw: anti-aliased, RGB.
void SetUpRenderer(poppler::page_renderer& renderer);

// Draws `drawing` at `dpi`. Throws PdfError naming the file `label` when poppler fails or
// returns a smaller image than asked for (it could not allocate one).
poppler::image DrawPage(const PageDrawing& drawing, long long dpi,
                        const poppler::page_renderer& renderer, const std::string& label);

}  // namespace pdf::drawing
