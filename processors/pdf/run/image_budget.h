// ImageBudget: the bytes of image samples one run may decode, all images together
// (VTPS_PDF_MAX_IMAGE_BYTES, default 1 GiB). The pixel limit bounds one image; this bounds
// the sum, so that a job listing a thousand large PNGs, or a PDF holding a thousand large
// images to recompress, cannot keep a processor decoding for hours. Each image is charged
// its decoded size (width x height x samples) before it is decoded. One object per run, used
// from one thread.
#pragma once

#include <optional>
#include <string>

namespace pdf::run {

constexpr long long kDefaultMaxImageBytes = 1LL << 30;

// The limit set by VTPS_PDF_MAX_IMAGE_BYTES's `value`: the default when unset or empty.
// Throws PdfError naming the variable unless the value is a whole number from 1024 to 2^40.
long long MaxImageBytesSetting(const std::optional<std::string>& value);

class ImageBudget {
 public:
  explicit ImageBudget(long long maxBytes = kDefaultMaxImageBytes) : maxBytes_(maxBytes) {}

  // Charges `bytes` of decoded samples of the image `what` (`file "a.png"`, `file "a.pdf":
  // image 4 0`). Throws PdfError naming it and VTPS_PDF_MAX_IMAGE_BYTES when the run's
  // images would pass the limit; nothing is charged then.
  void Charge(long long bytes, const std::string& what);

  long long Decoded() const { return decoded_; }
  long long MaxBytes() const { return maxBytes_; }

 private:
  long long maxBytes_;
  long long decoded_ = 0;
};

}  // namespace pdf::run
