// RefusalLog decides which of a run of like events a listener writes to the debug log
// (connections refused, accepts that failed): at most one line a second, so that a peer
// knocking in a loop, or a lasting shortage, cannot flood the log. What it holds back is
// counted and reported with the next line.
//
// Threads: Refused is safe from any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

namespace kqm {

class RefusalLog {
 public:
  using Clock = std::chrono::steady_clock;

  // `counted` names what the held-back count counts: "(3 more refused since the last such
  // line)".
  explicit RefusalLog(std::string counted = "refused") : counted_(std::move(counted)) {}

  // The line to log for an event at `now` (`what` says which and why), or nullopt when a
  // line went out less than a second before; that event is then counted, and the next line
  // says how many went unlogged.
  std::optional<std::string> Refused(Clock::time_point now, const std::string& what);

 private:
  const std::string counted_;
  std::mutex mutex_;
  std::optional<Clock::time_point> lastLine_;  // guarded by mutex_
  std::uint64_t heldBack_ = 0;                 // guarded by mutex_
};

}  // namespace kqm
