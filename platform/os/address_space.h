// A process's own address-space limit (RLIMIT_AS), so that work that would need more memory
// fails with an allocation error instead of taking the machine's memory. Builds with a
// sanitizer reserve terabytes of address space up front, so they can set no limit. POSIX
// only; call from the main thread before other threads exist.
#pragma once

#include <cstdint>

namespace os {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VTPS_ADDRESS_SPACE_RESERVED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define VTPS_ADDRESS_SPACE_RESERVED 1
#endif
#endif

#ifdef VTPS_ADDRESS_SPACE_RESERVED
inline constexpr bool kAddressSpaceLimitAvailable = false;
#else
inline constexpr bool kAddressSpaceLimitAvailable = true;
#endif

// Limits this process's address space to `bytes`, keeping a lower limit already in force
// (and at most the hard limit). Does nothing where kAddressSpaceLimitAvailable is false.
// Returns 0, or the error number when the system refuses.
int LimitAddressSpace(std::uint64_t bytes);

}  // namespace os
