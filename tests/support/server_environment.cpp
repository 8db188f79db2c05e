#include "tests/support/server_environment.h"

#include <filesystem>

#include "platform/kqmware/debug_log.h"

namespace vtps_test {

ServerEnvironment::ServerEnvironment(int debugLevel)
    : ports_(WriteServicesFile(ServicesFile())), earlier_(kqm::ProgramOptionsInUse()) {
  std::filesystem::create_directory(JobsDir());
  kqm::ProgramOptions options;
  options.debugLog = LogFile();
  options.debugLevel = debugLevel;
  options.server.services = kqm::ServiceDirectory(ServicesFile());
  options.client.services = options.server.services;
  kqm::UseProgramOptions(options);
  kqm::DebugLog::Instance().Configure();
}

ServerEnvironment::~ServerEnvironment() {
  kqm::UseProgramOptions(earlier_);
  kqm::DebugLog::Instance().Configure();
}

std::string ServerEnvironment::JobsDir() const {
  return dir_.File("jobs");
}

std::string ServerEnvironment::JobsUrl() const {
  return FileUrl(JobsDir());
}

}  // namespace vtps_test
