// What RunCommandTree's children start with on POSIX (see spawn_group_leader_posix.h), with
// and without a memory limit, which the interpreter sets as its first command.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "platform/os/os.h"
#include "tests/support/test_support.h"

namespace {

using std::chrono::milliseconds;

// A command line that writes the line `key` of the shell's own /proc status (a mask of
// signals in hexadecimal) to `file`. The shell reads it with builtins: a child such as grep
// would read it while the shell waits for that child, with the signals it blocks around the
// wait.
std::string WriteOwnStatus(const std::string& key, const std::string& file) {
  return "while read -r key value; do if [ \"$key\" = " + key +
         ": ]; then printf %s \"$value\" > " + file +
         "; exit 0; fi; done < /proc/$$/status; exit 1";
}

// The signals glibc keeps for itself, between the last standard signal (SIGSYS) and
// SIGRTMIN, as bits of a /proc status mask. No program can name them through glibc, which
// installs its own handlers for them when a program needs them; its posix_spawn starts every
// child with them ignored, so that one raised in the parent cannot end the child before it
// has called execve.
std::uint64_t ReservedSignals() {
  std::uint64_t mask = 0;
  for (int signal = SIGSYS + 1; signal < SIGRTMIN; ++signal)
    mask |= std::uint64_t{1} << (signal - 1);
  return mask;
}

// What a child of RunCommandTree starts with, whatever the server's threads have changed:
// every signal a program can name at its default action, none blocked, a process group of
// its own, none of the server's descriptors but the standard three.
TEST(SpawnGroupLeader, CommandsStartWithDefaultSignalsInAGroupOfTheirOwn) {
  std::signal(SIGUSR1, SIG_IGN);
  std::signal(SIGRTMIN + 1, SIG_IGN);
  sigset_t blocked;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGUSR2);
  sigset_t previous;
  pthread_sigmask(SIG_BLOCK, &blocked, &previous);
  vtps_test::TempDir dir;
  std::FILE* open = std::fopen(dir.File("open").c_str(), "w");  // inheritable
  ASSERT_NE(open, nullptr);
  const std::string descriptor = std::to_string(fileno(open));
  const std::string status = dir.File("status");
  for (std::uint64_t limitMiB : {0, 256}) {
    SCOPED_TRACE("memory limit " + std::to_string(limitMiB) + " MiB");
    auto run = [limitMiB](const std::string& line) {
      return os::RunCommandTree(line, milliseconds(0), limitMiB).status;
    };
    ASSERT_EQ(run(WriteOwnStatus("SigIgn", status)), 0);
    std::uint64_t ignored = std::stoull(vtps_test::ReadFile(status), nullptr, 16);
    EXPECT_EQ(ignored & ~ReservedSignals(), 0u) << std::hex << ignored;
    ASSERT_EQ(run(WriteOwnStatus("SigBlk", status)), 0);
    EXPECT_EQ(std::stoull(vtps_test::ReadFile(status), nullptr, 16), 0u);
    // The fifth field of /proc/PID/stat is the process group.
    EXPECT_EQ(run("test \"$(cut -d' ' -f5 /proc/$$/stat)\" = $$"), 0);
    EXPECT_EQ(run("test -e /proc/$$/fd/" + descriptor), 1);
    EXPECT_EQ(run("test -e /proc/$$/fd/2"), 0);
  }
  std::fclose(open);
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  std::signal(SIGRTMIN + 1, SIG_DFL);
  std::signal(SIGUSR1, SIG_DFL);
}

TEST(SpawnGroupLeader, MemoryLimitBoundsTheCommandAndNotTheServer) {
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

// 128 TiB, all that x86-64 gives a process: nothing mapped, a sanitizer's shadow included,
// can be above it.
constexpr rlim_t kLoweredHardLimit = rlim_t{1} << 47;

// Lowers this process's hard address-space limit to kLoweredHardLimit, asks for twice as much
// for a command that checks the hard limit it got, and exits with that command's status.
[[noreturn]] void RunAboveTheHardLimit() {
  rlimit own{};
  getrlimit(RLIMIT_AS, &own);
  rlimit lowered{std::min(own.rlim_cur, kLoweredHardLimit), kLoweredHardLimit};
  if (setrlimit(RLIMIT_AS, &lowered) != 0)
    _exit(100);
  const std::string kib = std::to_string(kLoweredHardLimit / 1024);
  _exit(os::RunCommandTree("test \"$(ulimit -H -v)\" = " + kib, milliseconds(0),
                           (kLoweredHardLimit >> 20) * 2)
            .status);
}

// A limit above the server's own hard limit cannot be given (the command would not run at
// all): the child gets the hard limit instead. Lowering a hard limit cannot be undone, so it
// happens in a process of its own.
TEST(SpawnGroupLeaderDeathTest, MemoryLimitAboveTheServersHardLimitIsLoweredToIt) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  rlimit own{};
  ASSERT_EQ(getrlimit(RLIMIT_AS, &own), 0);
  if (own.rlim_max != RLIM_INFINITY && own.rlim_max < kLoweredHardLimit)
    GTEST_SKIP() << "this process's hard address-space limit is below 128 TiB";
  EXPECT_EXIT(RunAboveTheHardLimit(), testing::ExitedWithCode(0), "");
}

// Runs on several threads at once each get their own child and status, limited or not.
TEST(SpawnGroupLeader, ConcurrentRunsEachGetTheirOwnStatus) {
  constexpr int kThreads = 6;
  constexpr int kRuns = 8;
  std::vector<int> wrong(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &wrong] {
      for (int run = 0; run < kRuns; ++run) {
        int code = t * kRuns + run;
        std::uint64_t limitMiB = run % 2 == 0 ? 0 : 256;
        if (os::RunCommandTree("exit " + std::to_string(code), milliseconds(0), limitMiB).status !=
            code)
          ++wrong[t];
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(wrong, std::vector<int>(kThreads, 0));
}

}  // namespace
