// Dates in the two forms a document's metadata uses: ISO 8601, as jobs, answers and XMP
// packets write them ("2026-12-09T14:30:00+01:00"), and PDF date strings, as the document
// information dictionary holds them ("D:20261209143000+01'00'"). A date may stop after any
// part (a year alone, a day without a time); the zone is kept when given and left out when
// not. Pure functions of their arguments.
#pragma once

#include <optional>
#include <string>

namespace pdf::text {

// The PDF date string for the ISO 8601 date `iso` (YYYY[-MM[-DD[Thh:mm[:ss[.fraction]]]]]
// with an optional "Z" or "+hh:mm" / "-hh:mm" after a time), or nullopt when it is not such
// a date or a part is out of range. Fractions of a second are dropped.
std::optional<std::string> IsoToPdfDate(const std::string& iso);

// The ISO 8601 form of `iso` as IsoToPdfDate reads it (fraction dropped), for XMP; nullopt
// when it is not a date.
std::optional<std::string> NormalizedIsoDate(const std::string& iso);

// The ISO 8601 date for the PDF date string `pdf` ("D:" optional, then YYYY and optionally
// MM DD HH mm SS and a zone "Z", "+HH'mm'" or "-HH'mm'"), or nullopt when it is not one.
std::optional<std::string> PdfDateToIso(const std::string& pdf);

}  // namespace pdf::text
