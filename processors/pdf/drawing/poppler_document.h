// Opening a document with poppler, for the operations that need a renderer or text
// extraction. The file has been opened with libqpdf first (OpenInput), so damage,
// passwords and the page budget are checked and reported the same way for every operation.
// Poppler's own diagnostics are kept off standard error.
#pragma once

#include <poppler-document.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "processors/pdf/document/operation_context.h"
#include "processors/pdf/document/pdf_document.h"

namespace pdf::drawing {

// Poppler reads the file, or qpdf's copy of it where the page tree was mended or poppler
// counts other pages than qpdf lists. Throws PdfError naming the file when poppler cannot
// read it or it stays locked.
std::unique_ptr<poppler::document> OpenWithPoppler(const document::PdfFile& file,
                                                   const std::optional<std::string>& password);

// What poppler is opened for: drawing pages (images decoded and drawn) or reading their text.
enum class PopplerUse { kDrawing, kText };

// Opens `input` with poppler for its 1-based `pages`, once what poppler would decode and draw
// of them is within the run's limits and budgets and the file showed no damage so far.
// Throws PdfError as CheckPagesBeforePoppler, the damage watch and OpenWithPoppler do.
std::unique_ptr<poppler::document> OpenPagesWithPoppler(const document::PdfFile& input,
                                                        const std::vector<int>& pages,
                                                        PopplerUse use,
                                                        document::OperationContext& context,
                                                        const std::optional<std::string>& password);

}  // namespace pdf::drawing
