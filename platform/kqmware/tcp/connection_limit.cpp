#include "platform/kqmware/tcp/connection_limit.h"

#include <algorithm>

namespace kqm {

std::string ConnectionLimit::Describe() const {
  std::string text =
      "at most " + std::to_string(maximum) + " (KQM_MAX_CONNECTIONS " + std::to_string(setting);
  if (LoweredByDescriptors()) {
    text += "; descriptor limit " + std::to_string(descriptors) + ", " + std::to_string(reserved) +
            " kept for the server's own use";
  }
  return text + ")";
}

ConnectionLimit EffectiveConnectionLimit(std::size_t maxConnections, std::uint64_t descriptorLimit,
                                         int workers) {
  ConnectionLimit limit;
  limit.setting = maxConnections;
  limit.descriptors = descriptorLimit;
  limit.reserved = kReservedDescriptors +
                   kReservedDescriptorsPerWorker * static_cast<std::uint64_t>(std::max(workers, 0));
  std::uint64_t maximum = std::max<std::uint64_t>(maxConnections, 1);
  if (descriptorLimit > 0) {
    std::uint64_t room = descriptorLimit > limit.reserved ? descriptorLimit - limit.reserved : 0;
    maximum = std::min(maximum, std::max<std::uint64_t>(room, 1));
  }
  limit.maximum = static_cast<std::size_t>(maximum);
  return limit;
}

}  // namespace kqm
