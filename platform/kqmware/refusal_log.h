// RefusalLog decides which refused connections a listener writes to the debug log: at most one
// line a second, so that a peer knocking in a loop cannot flood the log. What it holds back
// is counted and reported with the next line.
//
// Threads: Refused is safe from any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace kqm {

class RefusalLog {
 public:
  using Clock = std::chrono::steady_clock;

  // The line to log for a connection refused at `now` (`what` says which and why), or nullopt
  // when a line went out less than a second before; that refusal is then counted, and the
  // next line says how many went unlogged.
  std::optional<std::string> Refused(Clock::time_point now, const std::string& what);

 private:
  std::mutex mutex_;
  std::optional<Clock::time_point> lastLine_;  // guarded by mutex_
  std::uint64_t heldBack_ = 0;                 // guarded by mutex_
};

}  // namespace kqm
