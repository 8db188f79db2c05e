// What an in-process VTProcessServer needs around it in a test: a services file giving
// "VantricProcessServer" and "NTR" free ports (named in KQM_SERVICES), a debug log file
// (KQM_DEBUG_LOG) at a debug level (KQM_DEBUG_LEVEL, 4 unless given) and a folder for job
// files. The environment variables get their earlier values back when the object goes; use
// one at a time.
#pragma once

#include <cstdint>
#include <string>

#include "tests/support/scoped_env.h"
#include "tests/support/test_support.h"

namespace vtps_test {

class ServerEnvironment {
 public:
  explicit ServerEnvironment(int debugLevel = 4);
  ~ServerEnvironment();
  ServerEnvironment(const ServerEnvironment&) = delete;
  ServerEnvironment& operator=(const ServerEnvironment&) = delete;

  std::uint16_t ServerPort() const { return serverPort_; }
  std::uint16_t NtrPort() const { return ntrPort_; }
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
  std::uint16_t serverPort_;
  std::uint16_t ntrPort_;
  // Sets the debug log up again when it goes, which is after the variables below have
  // their earlier values back.
  struct LogReconfiguration {
    ~LogReconfiguration();
  } logReconfiguration_;
  ScopedEnv services_;
  ScopedEnv logFile_;
  ScopedEnv debugLevel_;
};

}  // namespace vtps_test
