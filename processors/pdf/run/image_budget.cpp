#include "processors/pdf/run/image_budget.h"

#include "processors/pdf/run/limit_settings.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::run {

long long MaxImageBytesSetting(const std::optional<std::string>& value) {
  return WholeNumberSetting("VTPS_PDF_MAX_IMAGE_BYTES", value, kDefaultMaxImageBytes, 1024,
                            1LL << 40);
}

void ImageBudget::Charge(long long bytes, const std::string& what) {
  if (bytes < 0 || bytes > maxBytes_ - decoded_)
    throw PdfError(what + ": the run's images would decode to more than " +
                   std::to_string(maxBytes_) + " bytes (VTPS_PDF_MAX_IMAGE_BYTES)");
  decoded_ += bytes;
}

}  // namespace pdf::run
