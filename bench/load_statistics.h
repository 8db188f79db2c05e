// What a load run measured: answers counted by outcome and the latencies of the right ones,
// summed up as throughput, p50 and p99. Pure functions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace load {

// One connection's tally; the driver merges them after the threads have ended.
struct Tally {
  long long right = 0;
  long long wrong = 0;              // an answer other than the one expected
  long long failed = 0;             // an exception instead of an answer
  std::vector<double> latenciesUs;  // of every answer, right or wrong
  std::string firstProblem;         // what the first wrong or failed answer was

  void Merge(Tally&& other);
};

struct Summary {
  long long right = 0;
  long long wrong = 0;
  long long failed = 0;
  double perSecond = 0;  // answers (of any outcome) per second of the run
  double p50Us = 0;
  double p99Us = 0;
};

// The latency below which `fraction` (0..1) of `sortedUs` lie: the sample at index
// floor(fraction * (n - 1)) of the sorted samples; 0 for no samples.
double Percentile(const std::vector<double>& sortedUs, double fraction);

// Sorts the tally's latencies and sums the run up; `seconds` is the run's wall time (a
// non-positive time gives a throughput of 0).
Summary Summarize(Tally& tally, double seconds);

// One line for the report: "requests N right R wrong W failed F  throughput T/s  p50 X us
// p99 Y us".
std::string SummaryLine(const Summary& summary);

// The exit code of the run: 0 when every answer was right and there was at least one.
int ExitCode(const Summary& summary);

}  // namespace load
