#include "bench/load_statistics.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>

namespace load {

void Tally::Merge(Tally&& other) {
  right += other.right;
  wrong += other.wrong;
  failed += other.failed;
  latenciesUs.insert(latenciesUs.end(), std::make_move_iterator(other.latenciesUs.begin()),
                     std::make_move_iterator(other.latenciesUs.end()));
  if (firstProblem.empty())
    firstProblem = std::move(other.firstProblem);
}

double Percentile(const std::vector<double>& sortedUs, double fraction) {
  if (sortedUs.empty())
    return 0;
  fraction = std::clamp(fraction, 0.0, 1.0);
  auto index =
      static_cast<std::size_t>(std::floor(fraction * static_cast<double>(sortedUs.size() - 1)));
  return sortedUs[index];
}

Summary Summarize(Tally& tally, double seconds) {
  std::sort(tally.latenciesUs.begin(), tally.latenciesUs.end());
  Summary summary;
  summary.right = tally.right;
  summary.wrong = tally.wrong;
  summary.failed = tally.failed;
  long long answers = tally.right + tally.wrong + tally.failed;
  summary.perSecond = seconds > 0 ? static_cast<double>(answers) / seconds : 0;
  summary.p50Us = Percentile(tally.latenciesUs, 0.50);
  summary.p99Us = Percentile(tally.latenciesUs, 0.99);
  return summary;
}

std::string SummaryLine(const Summary& summary) {
  char line[256];
  std::snprintf(line, sizeof line,
                "requests %lld right %lld wrong %lld failed %lld  throughput %.1f/s  p50 %.1f us "
                "p99 %.1f us",
                summary.right + summary.wrong + summary.failed, summary.right, summary.wrong,
                summary.failed, summary.perSecond, summary.p50Us, summary.p99Us);
  return line;
}

int ExitCode(const Summary& summary) {
  return summary.wrong == 0 && summary.failed == 0 && summary.right > 0 ? 0 : 1;
}

}  // namespace load
