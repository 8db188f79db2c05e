// What RunCommandTree's children start with on POSIX (see spawn_group_leader_posix.h).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <chrono>
#include <csignal>
#include <string>

#include "platform/os/os.h"

namespace {

// A command line that exits 0 when the line `key` of the shell's own /proc status is all
// zeros. The shell reads it with builtins: a child such as grep would read it while the
// shell waits for that child, with the signals it blocks around the wait.
std::string OwnStatusIsZero(const std::string& key) {
  return "while read -r key value; do if [ \"$key\" = " + key +
         ": ]; then case \"$value\" in *[!0]*) exit 1 ;; esac; exit 0; fi; done < /proc/$$/status; "
         "exit 1";
}

// What a child of RunCommandTree starts with, whatever the server's threads have changed:
// every signal at its default action, none blocked, a process group of its own.
TEST(SpawnGroupLeader, CommandsStartWithDefaultSignalsInAGroupOfTheirOwn) {
  std::signal(SIGUSR1, SIG_IGN);
  sigset_t blocked;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGUSR2);
  sigset_t previous;
  pthread_sigmask(SIG_BLOCK, &blocked, &previous);
  EXPECT_EQ(os::RunCommandLine(OwnStatusIsZero("SigIgn")), 0);
  EXPECT_EQ(os::RunCommandLine(OwnStatusIsZero("SigBlk")), 0);
  // The fifth field of /proc/PID/stat is the process group.
  EXPECT_EQ(os::RunCommandLine("test \"$(cut -d' ' -f5 /proc/$$/stat)\" = $$"), 0);
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  std::signal(SIGUSR1, SIG_DFL);
}

TEST(SpawnGroupLeader, MemoryLimitBoundsTheCommandAndNotTheServer) {
  using std::chrono::milliseconds;
  rlimit before{};
  ASSERT_EQ(getrlimit(RLIMIT_AS, &before), 0);
  // What `ulimit -v` (KiB) shows for this process's own soft limit.
  const std::string own =
      before.rlim_cur == RLIM_INFINITY ? "unlimited" : std::to_string(before.rlim_cur / 1024);
  if (before.rlim_max != RLIM_INFINITY && before.rlim_max < (64u << 20))
    GTEST_SKIP() << "this process's hard address-space limit is below 64 MiB";
  EXPECT_EQ(os::RunCommandTree("test \"$(ulimit -v)\" = 65536 && test \"$(ulimit -H -v)\" = 65536",
                               milliseconds(0), 64)
                .status,
            0);
  EXPECT_EQ(os::RunCommandTree("test \"$(ulimit -v)\" = " + own, milliseconds(0), 0).status, 0);
  // The shell gathers N MiB in a variable: 4 fit in 32 MiB of address space, 48 do not.
  auto allocate = [](int mib) {
    std::string bytes = std::to_string(mib * 1024 * 1024);
    return "x=$(head -c " + bytes + " /dev/zero | tr '\\0' a) && test ${#x} = " + bytes;
  };
  os::CommandResult within = os::RunCommandTree(allocate(4), milliseconds(0), 32);
  EXPECT_EQ(within.status, 0);
  EXPECT_FALSE(within.memoryLimitExceeded);
  EXPECT_NE(os::RunCommandTree(allocate(48), milliseconds(0), 32).status, 0);
  // The limit is the child's: this process keeps its own.
  rlimit after{};
  ASSERT_EQ(getrlimit(RLIMIT_AS, &after), 0);
  EXPECT_EQ(after.rlim_cur, before.rlim_cur);
  EXPECT_EQ(after.rlim_max, before.rlim_max);
}

}  // namespace
