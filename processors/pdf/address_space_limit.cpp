#include "processors/pdf/address_space_limit.h"

#include <sys/resource.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "processors/pdf/pdf_error.h"

void LimitAddressSpace(long long megabytes) {
  if (!kAddressSpaceLimitAvailable)
    return;
  rlimit limit{};
  if (getrlimit(RLIMIT_AS, &limit) != 0)
    throw PdfError(std::string("VTPS_PDF_MAX_MEMORY_MB cannot be applied: ") +
                   std::strerror(errno));
  rlim_t wanted = static_cast<rlim_t>(megabytes) << 20;
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur <= wanted)
    return;
  if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < wanted)
    wanted = limit.rlim_max;
  limit.rlim_cur = wanted;
  if (setrlimit(RLIMIT_AS, &limit) != 0)
    throw PdfError(std::string("VTPS_PDF_MAX_MEMORY_MB cannot be applied: ") +
                   std::strerror(errno));
}
