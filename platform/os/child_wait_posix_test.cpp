// The shared wait for a child (child_wait_posix.h): it ends when the child does, or when the
// time passes, and always leaves the child for the caller to reap.
#include "platform/os/child_wait_posix.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>

#include "platform/os/spawn_group_leader_posix.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;

pid_t StartShell(const char* line) {
  char shell[] = "/bin/sh";
  char option[] = "-c";
  std::string command = line;
  char* argv[] = {shell, option, command.data(), nullptr};
  pid_t child = 0;
  EXPECT_EQ(os::SpawnGroupLeader(shell, argv, environ, child), "");
  return child;
}

// The status the caller reaps: the exit code, or 128 + the signal.
int Reap(pid_t child) {
  int status = 0;
  if (::waitpid(child, &status, 0) != child)
    return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(AwaitChildEnd, EndsWithTheChildAndLeavesItToBeReaped) {
  for (std::optional<std::chrono::milliseconds> timeout :
       {std::optional(30000ms), std::optional<std::chrono::milliseconds>()}) {
    SCOPED_TRACE(timeout ? "with a deadline" : "without one");
    pid_t quick = StartShell("exit 5");
    EXPECT_TRUE(os::AwaitChildEnd(quick, timeout));
    EXPECT_TRUE(os::AwaitChildEnd(quick, 0ms));  // still there: not reaped
    EXPECT_EQ(Reap(quick), 5);
    // Nothing left to wait for.
    EXPECT_TRUE(os::AwaitChildEnd(quick, timeout));
  }
}

TEST(AwaitChildEnd, GivesUpWhenTheTimePassesFirst) {
  pid_t sleeper = StartShell("exec sleep 60");
  EXPECT_FALSE(os::AwaitChildEnd(sleeper, 0ms));
  EXPECT_FALSE(os::AwaitChildEnd(sleeper, 50ms));
  ::kill(sleeper, SIGKILL);
  EXPECT_TRUE(os::AwaitChildEnd(sleeper, 30000ms));
  EXPECT_EQ(Reap(sleeper), 128 + SIGKILL);
}

}  // namespace
