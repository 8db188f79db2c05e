// command_race: two command lines timed against each other on one machine, interleaved: each
// round runs both, the first first in even rounds and second in odd ones, so that a drift
// in the machine's state falls on both alike. Programs are started directly (no shell), with
// their output discarded; every run must exit with 0, or the race is void. Before each run
// the file SRC may be copied over DST (outside the timing), for programs that consume their
// input, such as a PDF processor replacing its job file with its answer. Prints the median wall
// time of each and their ratio:
//   first 21.40 ms (p25 21.10, p75 21.90)
//   second 17.30 ms (p25 17.00, p75 17.80)
//   ratio 1.24
//
//   command_race ROUNDS [--reset SRC DST] PROGRAM ARG... -vs- PROGRAM ARG...
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/os/child_process.h"
#include "platform/os/os.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Contender {
  std::string program;
  std::vector<std::string> arguments;
  std::vector<double> milliseconds;
};

double Quantile(std::vector<double> values, double q) {
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(q * static_cast<double>(values.size() - 1) + 0.5)];
}

// Runs `contender` once and returns its wall time in milliseconds; throws when it fails.
double RunOnce(const Contender& contender, const std::string& errorPath) {
  os::ChildProcess::Options options;
  options.arguments = contender.arguments;
  options.stderrPath = errorPath;
  auto started = Clock::now();
  os::ChildProcess child = os::ChildProcess::Start(contender.program, options);
  std::optional<int> code = child.WaitFor(std::chrono::minutes(5));
  double elapsed = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
  if (code != 0)
    throw std::runtime_error(contender.program + " exited with " +
                             (code ? std::to_string(*code) : std::string("no code in 5 minutes")) +
                             " (its standard error is in " + errorPath + ")");
  return elapsed;
}

int Usage() {
  std::fprintf(stderr,
               "usage: command_race ROUNDS [--reset SRC DST] PROGRAM ARG... -vs- PROGRAM ARG...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty())
    return Usage();
  const int rounds = std::atoi(args[0].c_str());
  std::size_t at = 1;
  std::string resetFrom;
  std::string resetTo;
  if (at < args.size() && args[at] == "--reset") {
    if (at + 2 >= args.size())
      return Usage();
    resetFrom = args[at + 1];
    resetTo = args[at + 2];
    at += 3;
  }
  Contender contenders[2];
  for (Contender& contender : contenders) {
    if (at >= args.size() || args[at] == "-vs-")
      return Usage();
    contender.program = args[at];
    for (++at; at < args.size() && args[at] != "-vs-"; ++at)
      contender.arguments.push_back(args[at]);
    if (&contender == &contenders[0] && at++ == args.size())
      return Usage();
  }
  if (rounds < 1 || at != args.size())
    return Usage();

  const std::string errorPath =
      (fs::temp_directory_path() / ("command_race." + std::to_string(os::ProcessId()) + ".err"))
          .string();
  auto run = [&](Contender& contender, bool record) {
    if (!resetFrom.empty())
      fs::copy_file(resetFrom, resetTo, fs::copy_options::overwrite_existing);
    double elapsed = RunOnce(contender, errorPath);
    if (record)
      contender.milliseconds.push_back(elapsed);
  };
  try {
    // One run each first, not counted: the page cache and the dynamic loader's caches warm.
    run(contenders[0], false);
    run(contenders[1], false);
    for (int round = 0; round < rounds; ++round) {
      int first = round % 2;
      run(contenders[first], true);
      run(contenders[1 - first], true);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "command_race: %s\n", e.what());
    return 1;
  }
  fs::remove(errorPath);

  const char* names[] = {"first", "second"};
  double medians[2];
  for (int i = 0; i < 2; ++i) {
    const std::vector<double>& ms = contenders[i].milliseconds;
    medians[i] = Quantile(ms, 0.5);
    std::printf("%s %.2f ms (p25 %.2f, p75 %.2f)\n", names[i], medians[i], Quantile(ms, 0.25),
                Quantile(ms, 0.75));
  }
  std::printf("ratio %.2f\n", medians[0] / medians[1]);
  return 0;
}
