// spawn_cost: what starting a processor costs through os::RunCommandTree, with and without a
// memory limit, against a bare posix_spawn of the same shell with the same attributes (default
// signals, empty mask, own process group, descriptors above 2 closed) and a waitpid,
// interleaved in rounds so that all three see the same load. Each run is `/bin/sh -c 'exit 0'`
// started and waited for. Prints the medians of the rounds' means and the ratios against the
// bare posix_spawn. Target: at most 1.1, with a limit as without (the shell sets the limit
// itself with its ulimit builtin before the line).
//
//   build/linux/bench/spawn_cost [ROUNDS]     (default 20 rounds of 50 runs each)
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "platform/os/os.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// The reference: the shell started with posix_spawn alone and waited for with waitpid.
int SpawnedRun() {
  char shell[] = "/bin/sh";
  char option[] = "-c";
  char line[] = "exit 0";
  char* argv[] = {shell, option, line, nullptr};
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t signals;
  sigfillset(&signals);
  posix_spawnattr_setsigdefault(&attributes, &signals);
  sigemptyset(&signals);
  posix_spawnattr_setsigmask(&attributes, &signals);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  pid_t child = 0;
  int error = ::posix_spawn(&child, argv[0], &actions, &attributes, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (error != 0)
    return -1;
  int status = 0;
  if (::waitpid(child, &status, 0) != child)
    return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 20;
  constexpr int kRuns = 50;
  if (rounds < 1) {
    std::fprintf(stderr, "usage: spawn_cost [ROUNDS]\n");
    return 2;
  }
  using std::chrono::milliseconds;
  const std::vector<std::pair<const char*, std::function<int()>>> ways = {
      {"posix_spawn (reference)", SpawnedRun},
      {"RunCommandTree", [] { return os::RunCommandTree("exit 0", milliseconds(0)).status; }},
      {"RunCommandTree, 512 MiB limit",
       [] { return os::RunCommandTree("exit 0", milliseconds(0), 512).status; }},
  };
  std::vector<std::vector<double>> means(ways.size());
  for (int round = 0; round < rounds; ++round) {
    for (std::size_t way = 0; way < ways.size(); ++way) {
      auto start = Clock::now();
      for (int run = 0; run < kRuns; ++run) {
        if (ways[way].second() != 0) {
          std::fprintf(stderr, "spawn_cost: %s failed\n", ways[way].first);
          return 1;
        }
      }
      means[way].push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count() /
                           kRuns);
    }
  }
  const double reference = Median(means[0]);
  for (std::size_t way = 0; way < ways.size(); ++way) {
    std::printf("%-32s %8.0f us per run   %.2f of the reference\n", ways[way].first,
                Median(means[way]), Median(means[way]) / reference);
  }
  return 0;
}
