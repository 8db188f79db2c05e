// libFuzzer target: dates in both forms the metadata uses. An ISO 8601 date that is accepted
// must come back the same (normalized) through its PDF date string, and a PDF date string
// that is accepted must give an ISO date that is accepted in turn.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "processors/pdf/text/pdf_date.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pdf::text;
  std::string text(reinterpret_cast<const char*>(data), size);
  std::optional<std::string> pdf = IsoToPdfDate(text);
  std::optional<std::string> normalized = NormalizedIsoDate(text);
  if (pdf.has_value() != normalized.has_value())
    std::abort();
  if (pdf && PdfDateToIso(*pdf) != normalized)
    std::abort();
  if (std::optional<std::string> iso = PdfDateToIso(text)) {
    std::optional<std::string> back = IsoToPdfDate(*iso);
    if (!back || PdfDateToIso(*back) != iso)
      std::abort();
  }
  return 0;
}
