#include "tests/support/server_environment.h"

#include <filesystem>

#include "platform/kqmware/debug_log.h"
#include "platform/os/os.h"

namespace vtps_test {

ServerEnvironment::ServerEnvironment(int debugLevel)
    : serverPort_(FreePort()), ntrPort_(FreePort()) {
  while (ntrPort_ == serverPort_)
    ntrPort_ = FreePort();
  WriteFile(ServicesFile(), ServicesText(serverPort_, ntrPort_));
  std::filesystem::create_directory(JobsDir());
  os::SetEnv("KQM_SERVICES", ServicesFile());
  os::SetEnv("KQM_DEBUG_LOG", LogFile());
  os::SetEnv("KQM_DEBUG_LEVEL", std::to_string(debugLevel));
  kqm::DebugLog::Instance().Configure();
}

ServerEnvironment::~ServerEnvironment() {
  os::UnsetEnv("KQM_SERVICES");
  os::UnsetEnv("KQM_DEBUG_LOG");
  os::UnsetEnv("KQM_DEBUG_LEVEL");
  kqm::DebugLog::Instance().Configure();
}

std::string ServerEnvironment::JobsDir() const {
  return dir_.File("jobs");
}

std::string ServerEnvironment::JobsUrl() const {
  return FileUrl(JobsDir());
}

}  // namespace vtps_test
