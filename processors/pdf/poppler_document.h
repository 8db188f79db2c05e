// Opening a document with poppler, for the operations that need a renderer or text
// extraction. The file has been opened with libqpdf first (OpenInput), so damage,
// passwords and the page budget are checked and reported the same way for every operation.
// Poppler's own diagnostics are kept off standard error.
#pragma once

#include <poppler-document.h>

#include <memory>
#include <optional>
#include <string>

#include "processors/pdf/pdf_document.h"

// Throws PdfError naming the file when poppler cannot read it or it stays locked.
std::unique_ptr<poppler::document> OpenWithPoppler(const PdfFile& file,
                                                   const std::optional<std::string>& password);
