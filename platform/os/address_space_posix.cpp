#include "platform/os/address_space.h"

#include <sys/resource.h>

#include <cerrno>

namespace os {

int LimitAddressSpace(std::uint64_t bytes) {
  if (!kAddressSpaceLimitAvailable)
    return 0;
  rlimit limit{};
  if (::getrlimit(RLIMIT_AS, &limit) != 0)
    return errno;
  rlim_t wanted = static_cast<rlim_t>(bytes);
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur <= wanted)
    return 0;
  if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < wanted)
    wanted = limit.rlim_max;
  limit.rlim_cur = wanted;
  return ::setrlimit(RLIMIT_AS, &limit) == 0 ? 0 : errno;
}

}  // namespace os
