// Waiting for a started program on POSIX: the exit code as soon as it ends, nothing before.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>

#include "platform/os/child_process.h"

namespace {

using namespace std::chrono_literals;

os::ChildProcess StartShell(const char* line) {
  os::ChildProcess::Options options;
  options.arguments = {"-c", line};
  return os::ChildProcess::Start("/bin/sh", options);
}

TEST(ChildProcessWait, GivesTheExitCodeOrNothingWhileTheProgramRuns) {
  os::ChildProcess quick = StartShell("exit 7");
  EXPECT_EQ(quick.WaitFor(30s), 7);
  EXPECT_EQ(quick.WaitFor(0ms), 7);  // the code is kept once known

  os::ChildProcess sleeper = StartShell("sleep 60");
  EXPECT_EQ(sleeper.WaitFor(0ms), std::nullopt);
  EXPECT_EQ(sleeper.WaitFor(50ms), std::nullopt);
  sleeper.Kill();
  EXPECT_EQ(sleeper.WaitFor(30s), 128 + 9);
}

}  // namespace
