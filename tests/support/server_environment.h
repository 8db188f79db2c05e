// What an in-process VTProcessServer needs around it in a test: a services file giving
// "VantricProcessServer" and "NTR" free ports, a debug log file at a debug level (4 unless
// given) and a folder for job files, made the program's options (kqm::UseProgramOptions) as
// a program's edge would from KQM_SERVICES, KQM_DEBUG_LOG and KQM_DEBUG_LEVEL. The program's
// earlier options come back when the object goes; use one at a time, on the test's thread.
#pragma once

#include <cstdint>
#include <string>

#include "platform/kqmware/program_options.h"
#include "tests/support/test_support.h"

namespace vtps_test {

class ServerEnvironment {
 public:
  explicit ServerEnvironment(int debugLevel = 4);
  ~ServerEnvironment();
  ServerEnvironment(const ServerEnvironment&) = delete;
  ServerEnvironment& operator=(const ServerEnvironment&) = delete;

  std::uint16_t ServerPort() const { return ports_.server; }
  std::uint16_t NtrPort() const { return ports_.ntr; }
  const TempDir& Dir() const { return dir_; }
  std::string ServicesFile() const { return dir_.File("kqm-services"); }
  std::string LogFile() const { return dir_.File("debug.log"); }
  // The debug log so far.
  std::string Log() const { return ReadFile(LogFile()); }
  // The folder for job files, and its file: URL.
  std::string JobsDir() const;
  std::string JobsUrl() const;

 private:
  TempDir dir_;
  ServicePorts ports_;
  kqm::ProgramOptions earlier_;  // the program's options before, given back at the end
};

}  // namespace vtps_test
