#include "processors/pdf/run/limit_settings.h"

#include <charconv>

#include "processors/pdf/text/pdf_error.h"

namespace pdf::run {

long long WholeNumberSetting(const std::string& variable, const std::optional<std::string>& value,
                             long long fallback, long long min, long long max) {
  if (!value || value->empty())
    return fallback;
  long long number = 0;
  const char* end = value->data() + value->size();
  auto [rest, error] = std::from_chars(value->data(), end, number);
  if (error != std::errc() || rest != end || number < min || number > max)
    throw PdfError(variable + " is \"" + *value + "\"; it must be a whole number from " +
                   std::to_string(min) + " to " + std::to_string(max));
  return number;
}

LimitSettings ReadLimitSettings(const std::optional<std::string>& maxStreamBytes,
                                const std::optional<std::string>& maxMemoryMb,
                                const std::optional<std::string>& maxOutputBytes) {
  LimitSettings settings;
  settings.maxStreamBytes = WholeNumberSetting("VTPS_PDF_MAX_STREAM_BYTES", maxStreamBytes,
                                               kDefaultMaxStreamBytes, 1024, 1LL << 40);
  settings.maxMemoryMb =
      WholeNumberSetting("VTPS_PDF_MAX_MEMORY_MB", maxMemoryMb, kDefaultMaxMemoryMb, 64, 1 << 20);
  settings.maxOutputBytes = WholeNumberSetting("VTPS_PDF_MAX_OUTPUT_BYTES", maxOutputBytes,
                                               kDefaultMaxOutputBytes, 1024, 1LL << 50);
  return settings;
}

long long MaxAttachmentBytesSetting(const std::optional<std::string>& value) {
  return WholeNumberSetting("VTPS_PDF_MAX_ATTACHMENT_BYTES", value, kDefaultMaxAttachmentBytes,
                            1024, 1LL << 40);
}

void ReadRunBudgets(const std::optional<std::string>& maxDecodedBytes,
                    const std::optional<std::string>& maxPageOperators,
                    const std::optional<std::string>& maxRunOperators, LimitSettings& settings) {
  settings.maxDecodedBytes = WholeNumberSetting("VTPS_PDF_MAX_DECODED_BYTES", maxDecodedBytes,
                                                kDefaultMaxDecodedBytes, 1024, 1LL << 50);
  settings.maxPageOperators = WholeNumberSetting("VTPS_PDF_MAX_PAGE_OPERATORS", maxPageOperators,
                                                 kDefaultMaxPageOperators, 100, 1LL << 40);
  settings.maxRunOperators = WholeNumberSetting("VTPS_PDF_MAX_RUN_OPERATORS", maxRunOperators,
                                                kDefaultMaxRunOperators, 100, 1LL << 50);
}

std::string OutOfMemoryMessage(const std::string& subject) {
  return subject + " needs more memory than VTPS_PDF_MAX_MEMORY_MB allows";
}

}  // namespace pdf::run
