// command_loops: the floor Execute under load is measured against. N threads each run the
// same command line through system() back to back for SECONDS, as N separate callers would
// without any server; a run counts as right when the line returned 0. Prints the same
// summary line as the load driver.
//
//   build/linux/bench/command_loops THREADS SECONDS 'cd DIR ; DIR/untouched.sh -r -i FILE'
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bench/load_statistics.h"

using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: command_loops THREADS SECONDS COMMAND_LINE\n");
    return 2;
  }
  const int threads = std::atoi(argv[1]);
  const double seconds = std::atof(argv[2]);
  const std::string line = argv[3];
  if (threads < 1 || !(seconds > 0) || line.empty()) {
    std::fprintf(stderr,
                 "command_loops: THREADS must be positive, SECONDS above 0, and the "
                 "command line not empty\n");
    return 2;
  }

  std::vector<load::Tally> tallies(static_cast<std::size_t>(threads));
  std::vector<std::thread> loops;
  const auto start = Clock::now();
  const auto end =
      start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  for (int i = 0; i < threads; ++i) {
    loops.emplace_back([&, i] {
      load::Tally& tally = tallies[static_cast<std::size_t>(i)];
      while (Clock::now() < end) {
        auto started = Clock::now();
        int status = std::system(line.c_str());
        tally.latenciesUs.push_back(
            std::chrono::duration<double, std::micro>(Clock::now() - started).count());
        if (status == 0)
          ++tally.right;
        else
          ++tally.failed;
      }
    });
  }
  for (std::thread& loop : loops)
    loop.join();
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();

  load::Tally all;
  for (load::Tally& tally : tallies)
    all.Merge(std::move(tally));
  std::printf("command_loops: %d thread(s), %.2f s\n", threads, elapsed);
  std::printf("%s\n", load::SummaryLine(load::Summarize(all, elapsed)).c_str());
  return load::ExitCode(load::Summarize(all, elapsed));
}
