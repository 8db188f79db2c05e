#include "tests/support/server_environment.h"

#include <filesystem>

#include "platform/kqmware/debug_log.h"

namespace vtps_test {

ServerEnvironment::ServerEnvironment(int debugLevel)
    : serverPort_(FreePort()),
      ntrPort_(FreePort()),
      logReconfiguration_(),
      services_("KQM_SERVICES", ServicesFile()),
      logFile_("KQM_DEBUG_LOG", LogFile()),
      debugLevel_("KQM_DEBUG_LEVEL", std::to_string(debugLevel)) {
  while (ntrPort_ == serverPort_)
    ntrPort_ = FreePort();
  WriteFile(ServicesFile(), ServicesText(serverPort_, ntrPort_));
  std::filesystem::create_directory(JobsDir());
  kqm::DebugLog::Instance().Configure();
}

ServerEnvironment::~ServerEnvironment() = default;

ServerEnvironment::LogReconfiguration::~LogReconfiguration() {
  kqm::DebugLog::Instance().Configure();
}

std::string ServerEnvironment::JobsDir() const {
  return dir_.File("jobs");
}

std::string ServerEnvironment::JobsUrl() const {
  return FileUrl(JobsDir());
}

}  // namespace vtps_test
