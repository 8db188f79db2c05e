#include "server/server_settings.h"

#include "jobs/job_secrets.h"
#include "platform/kqmware/program_options.h"
#include "platform/kqmware/settings.h"
#include "platform/os/os.h"

namespace {

// The longest processor time limit accepted: 31 days.
constexpr std::int64_t kMaxProcessorTimeLimitSeconds = 31 * 24 * 3600;
// The largest processor memory limit accepted: 4 TiB.
constexpr std::int64_t kMaxProcessorMemoryLimitMiB = std::int64_t{4} << 20;

}  // namespace

ServerSettings::ServerSettings()
    : secretKeys(DefaultSecretKeys().begin(), DefaultSecretKeys().end()) {}

ServerSettings ServerSettings::FromEnvironment() {
  // In the order the server uses them as it starts, so that the first unusable one is named.
  ServerSettings settings;
  settings.debugLevel = kqm::InitialDebugLevel();
  settings.processorTimeLimitSeconds =
      kqm::ParseNumberSetting("VTPS_PROCESSOR_TIME_LIMIT", os::GetEnv("VTPS_PROCESSOR_TIME_LIMIT"),
                              0, 0, kMaxProcessorTimeLimitSeconds);
  settings.processorMemoryLimitMiB = static_cast<std::uint64_t>(kqm::ParseNumberSetting(
      "VTPS_PROCESSOR_MEMORY_LIMIT", os::GetEnv("VTPS_PROCESSOR_MEMORY_LIMIT"), 0, 0,
      kMaxProcessorMemoryLimitMiB));
  settings.secretKeys = ParseSecretKeys(os::GetEnv("VTPS_SECRET_KEYS"));
  settings.middleware = kqm::ServerOptions::FromEnvironment();
  settings.configurationClient = kqm::ClientOptions::FromEnvironment();
  settings.configurationClient.services = settings.middleware.services;
  settings.configurationHost = os::GetEnv("KQ_SERVER");
  return settings;
}

ServerSettings ServerSettings::OfProgram() {
  kqm::ProgramOptions program = kqm::ProgramOptionsInUse();
  ServerSettings settings;
  settings.debugLevel = program.debugLevel;
  settings.middleware = program.server;
  settings.configurationClient = program.client;
  return settings;
}
