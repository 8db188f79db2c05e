// What the VantricProcessServer program is set up with: the middleware's options for serving
// and for reaching the configuration service, and the limits Execute applies. The program
// reads them from the environment once, when it starts (FromEnvironment), and hands them to
// VTProcessServer; tests build them directly. A plain value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/kqmware/options.h"

struct ServerSettings {
  int debugLevel = 0;                      // KQM_DEBUG_LEVEL: the server's initial debug level
  kqm::ServerOptions middleware;           // KQM_*: how the server is bound and serves
  kqm::ClientOptions configurationClient;  // KQM_*: how it reaches NTR
  // KQ_SERVER: the host of NTR when the server's own host name is empty; nullopt: unset.
  std::optional<std::string> configurationHost;
  std::int64_t processorTimeLimitSeconds = 0;  // VTPS_PROCESSOR_TIME_LIMIT; 0: none
  std::uint64_t processorMemoryLimitMiB = 0;   // VTPS_PROCESSOR_MEMORY_LIMIT; 0: none
  // VTPS_SECRET_KEYS: the keys whose values are removed from kept job files.
  std::vector<std::string> secretKeys;

  // The defaults: no limits, the default secret keys (see ParseSecretKeys), the middleware's
  // option defaults.
  ServerSettings();

  // Every setting from the environment, the server and the configuration client sharing one
  // service directory. Throws KQ_EException naming the first variable whose value is not
  // usable: VTPS_PROCESSOR_TIME_LIMIT when it is not a whole number of seconds (up to 31
  // days), VTPS_PROCESSOR_MEMORY_LIMIT not a whole number of MiB (up to 4 TiB),
  // VTPS_SECRET_KEYS not a list of names, and the KQM_ settings as kqm::ServerOptions and
  // kqm::ClientOptions say.
  static ServerSettings FromEnvironment();

  // The defaults with the program's middleware options (kqm::ProgramOptionsInUse): what a
  // server made without settings uses.
  static ServerSettings OfProgram();
};
