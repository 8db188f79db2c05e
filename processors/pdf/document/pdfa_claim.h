// What a document says of its own PDF/A conformance (the pdfaid part and conformance of its
// XMP metadata), and the changes a rewrite makes so that a conformant input stays
// conformant: the dates of its metadata brought up to the rewrite's time, in the XMP packet
// and the document information dictionary alike. The packet is scanned as text, bounded by
// its size, so that every program that writes PDFs can keep PDF/A without an XML parser;
// what the writer itself must do is in pdf_document.h. Pure functions, except
// DeclaredPdfa and StampPdfaDates, which read and change the document given (one thread).
#pragma once

#include <qpdf/QPDF.hh>

#include <optional>
#include <string>

#include "processors/pdf/document/run_limits.h"

namespace pdf::document {

struct PdfaClaim {
  int part = 0;             // 1, 2, 3, 4
  std::string conformance;  // "B", "A", "U"; "" when the packet names none (PDF/A-4)

  // "PDF/A-1b".
  std::string Name() const;
};

// The claim an XMP packet makes: pdfaid:part (and pdfaid:conformance), as elements or as
// attributes, under whichever prefix the packet binds to PDF/A's identification namespace;
// nullopt when it makes none or the part is not a number from 1 to 9.
std::optional<PdfaClaim> FindPdfaClaim(const std::string& packet);

// `packet` with the values of xmp:MetadataDate and, when `modifyDate`, xmp:ModifyDate
// replaced by `isoDate`, wherever the packet gives them (elements or attributes); properties
// it lacks are not added.
std::string WithXmpDates(const std::string& packet, const std::string& isoDate, bool modifyDate);

// The claim of `pdf`'s catalog metadata, read within `limits`' decoding budget; nullopt
// when it has no metadata stream or the stream makes no claim. Throws PdfError naming
// `label` when the stream passes the budget.
std::optional<PdfaClaim> DeclaredPdfa(QPDF& pdf, RunLimits& limits, const std::string& label);

// Sets the metadata dates of `pdf` to `isoDate` (UTC, "2026-12-11T09:30:00Z"): the XMP
// packet's MetadataDate, and when `modifyDate` also its ModifyDate and the information
// dictionary's /ModDate, each only where the document has it.
void StampPdfaDates(QPDF& pdf, RunLimits& limits, const std::string& label,
                    const std::string& isoDate, bool modifyDate);

// The present time in UTC as ISO 8601 to the second ("2026-12-11T09:30:00Z").
std::string UtcNow();

}  // namespace pdf::document
