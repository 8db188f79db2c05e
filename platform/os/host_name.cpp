// The host-name lookup shared by both platforms; only the calls differ (os_*.cpp).
#include <cstring>

#include "platform/os/os.h"

namespace os {

namespace {

constexpr std::uint16_t kVersion22 = 0x0202;
constexpr std::uint16_t kVersion11 = 0x0101;

void WriteLocalhost(char* buffer, std::size_t size) {
  std::strncpy(buffer, "localhost", size - 1);
  buffer[size - 1] = '\0';
}

}  // namespace

void ReadHostName(const HostNameCalls& calls, char* buffer, std::size_t size) {
  int status = calls.startup(kVersion22);
  if (status == kVersionNotSupported)
    status = calls.startup(kVersion11);
  if (status != 0) {
    WriteLocalhost(buffer, size);
    return;
  }
  // gethostname need not terminate a name that fills the buffer, so the last byte is kept
  // for the terminator.
  buffer[size - 1] = '\0';
  if (calls.getHostName(buffer, static_cast<int>(size - 1)) == -1)
    WriteLocalhost(buffer, size);
  buffer[size - 1] = '\0';
  calls.cleanup();
}

}  // namespace os
