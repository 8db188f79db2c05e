// The byte, memory and drawing limits of one PDF processor run, read from the environment's
// text at the program's edge: VTPS_PDF_MAX_STREAM_BYTES (what one stream may decode to),
// VTPS_PDF_MAX_DECODED_BYTES (what all streams of the run may decode to together),
// VTPS_PDF_MAX_MEMORY_MB (the process's address space), VTPS_PDF_MAX_OUTPUT_BYTES (all
// outputs of the run together), VTPS_PDF_MAX_ATTACHMENT_BYTES (what one embedded file may
// hold), and VTPS_PDF_MAX_PAGE_OPERATORS and VTPS_PDF_MAX_RUN_OPERATORS (the operators one
// page, and all pages of the run, may draw). Pure functions of their text.
#pragma once

#include <optional>
#include <string>

namespace pdf::run {

constexpr long long kDefaultMaxStreamBytes = 256LL << 20;
constexpr long long kDefaultMaxMemoryMb = 1024;
constexpr long long kDefaultMaxOutputBytes = 1LL << 30;
constexpr long long kDefaultMaxAttachmentBytes = 64LL << 20;
constexpr long long kDefaultMaxDecodedBytes = 1LL << 30;
constexpr long long kDefaultMaxPageOperators = 2'000'000;
constexpr long long kDefaultMaxRunOperators = 20'000'000;

struct LimitSettings {
  long long maxStreamBytes = kDefaultMaxStreamBytes;
  long long maxMemoryMb = kDefaultMaxMemoryMb;
  long long maxOutputBytes = kDefaultMaxOutputBytes;
  long long maxAttachmentBytes = kDefaultMaxAttachmentBytes;
  long long maxDecodedBytes = kDefaultMaxDecodedBytes;
  long long maxPageOperators = kDefaultMaxPageOperators;
  long long maxRunOperators = kDefaultMaxRunOperators;
};

// The whole number `value` of the setting `variable`: `fallback` when unset or empty.
// Throws PdfError naming the variable unless it is plain decimal from `min` to `max`.
long long WholeNumberSetting(const std::string& variable, const std::optional<std::string>& value,
                             long long fallback, long long min, long long max);

// The three limits from the variables' values (each may be unset). Throws PdfError as
// WholeNumberSetting does.
LimitSettings ReadLimitSettings(const std::optional<std::string>& maxStreamBytes,
                                const std::optional<std::string>& maxMemoryMb,
                                const std::optional<std::string>& maxOutputBytes);

// VTPS_PDF_MAX_ATTACHMENT_BYTES from its value (unset or empty: the default). Throws PdfError
// as WholeNumberSetting does.
long long MaxAttachmentBytesSetting(const std::optional<std::string>& value);

// VTPS_PDF_MAX_DECODED_BYTES, VTPS_PDF_MAX_PAGE_OPERATORS and VTPS_PDF_MAX_RUN_OPERATORS from
// their values (unset or empty: the defaults) into `settings`. Throws PdfError as
// WholeNumberSetting does.
void ReadRunBudgets(const std::optional<std::string>& maxDecodedBytes,
                    const std::optional<std::string>& maxPageOperators,
                    const std::optional<std::string>& maxRunOperators, LimitSettings& settings);

// The message of a run that ran out of memory while working on `subject` (`file "a.pdf"`),
// naming VTPS_PDF_MAX_MEMORY_MB.
std::string OutOfMemoryMessage(const std::string& subject);

}  // namespace pdf::run
