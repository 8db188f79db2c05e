// Timing of calls made from several threads at once, shared by the in-process load drivers:
// each thread gets its own caller, warms up with 200 calls, then calls back to back for the
// given time while every call is timed. Header only; the threads are joined before it
// returns.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <thread>
#include <vector>

#include "platform/kqtypes/kqtypes.h"

namespace bench {

struct CallTiming {
  double p50Us = 0;
  double p99Us = 0;
  double perSecond = 0;
};

// {"M": method, "P1": {"file": "report.pdf"}}: the small request the drivers send.
inline KQ_TDict SmallRequest(const char* method) {
  KQ_TDict request;
  request["M"] = method;
  KQ_TDict parameters;
  parameters["file"] = "report.pdf";
  request["P1"] = parameters;
  return request;
}

// Runs the caller that `makeCaller` gives (one per thread, called with no arguments) on
// `connections` threads at once for `seconds`, after a warm-up.
template <class MakeCaller>
CallTiming TimeConcurrentCalls(int connections, double seconds, MakeCaller makeCaller) {
  using Clock = std::chrono::steady_clock;
  std::vector<std::vector<double>> samples(static_cast<std::size_t>(connections));
  std::vector<std::thread> threads;
  auto length = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  for (int i = 0; i < connections; ++i) {
    threads.emplace_back([&, i] {
      auto call = makeCaller();
      for (int warm = 0; warm < 200; ++warm)
        call();
      auto end = Clock::now() + length;
      auto& mine = samples[static_cast<std::size_t>(i)];
      while (Clock::now() < end) {
        auto start = Clock::now();
        call();
        mine.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
      }
    });
  }
  for (auto& thread : threads)
    thread.join();
  std::vector<double> all;
  for (auto& s : samples)
    all.insert(all.end(), s.begin(), s.end());
  std::sort(all.begin(), all.end());
  CallTiming timing;
  if (all.empty())
    return timing;
  timing.p50Us = all[all.size() / 2];
  timing.p99Us = all[all.size() * 99 / 100];
  timing.perSecond = static_cast<double>(all.size()) / seconds;
  return timing;
}

}  // namespace bench
