// Saving a rendered page as PNG (libpng) into a BudgetedFile, so that every byte is charged
// to the run's output budget as it is written: a run that would pass
// VTPS_PDF_MAX_OUTPUT_BYTES stops inside the image, not after it. Use from one thread.
#pragma once

#include <poppler-image.h>

#include <string>

#include "processors/pdf/run/output_budget.h"

namespace pdf::drawing {

// Writes `image` (RGB, as the renderer makes it: format_rgb24, or format_gray8 /
// format_bgr24) as an 8-bit PNG to `file` and closes it. Throws PdfError naming the output
// `label` when the image format is not one of these, when writing fails, and as
// OutputBudget::Charge does.
void WritePng(const poppler::image& image, run::BudgetedFile& file, const std::string& label);

}  // namespace pdf::drawing
