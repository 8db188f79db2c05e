// The processor's own memory limit: an address-space limit (RLIMIT_AS) set when a run
// starts, so that a document that would need more memory fails with an allocation error
// the run turns into a message naming VTPS_PDF_MAX_MEMORY_MB, instead of taking the
// machine's memory. Builds with a sanitizer reserve terabytes of address space up front, so
// they set no limit. Call from the main thread before any work.
#pragma once

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VTPS_PDF_ADDRESS_SPACE_RESERVED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define VTPS_PDF_ADDRESS_SPACE_RESERVED 1
#endif
#endif

#ifdef VTPS_PDF_ADDRESS_SPACE_RESERVED
constexpr bool kAddressSpaceLimitAvailable = false;
#else
constexpr bool kAddressSpaceLimitAvailable = true;
#endif

// Limits this process's address space to `megabytes` (keeping a lower limit already in
// force). Does nothing where kAddressSpaceLimitAvailable is false. Throws PdfError naming
// VTPS_PDF_MAX_MEMORY_MB when the system refuses the limit.
void LimitAddressSpace(long long megabytes);
