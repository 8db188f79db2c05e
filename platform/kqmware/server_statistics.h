// ServerStatistics counts what a server did with its requests: how many were answered,
// answered with an exception or refused as busy, how long the processor took (a histogram
// and the sum in nanoseconds) and the last failure's text. Snapshot joins them with the slot
// counts into ServerState, which the status probe, the metrics listener and the transports'
// own reports (a services API) give.
//
// Thread-safe: every counter is atomic; only the last failure's text takes a lock of its
// own. A snapshot taken while requests finish may be off by the requests finishing at that
// moment, never more.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/kqmware/processor_slots.h"

namespace kqm {

// Upper bounds, in seconds, of the request-duration histogram's buckets (plus +Inf).
inline constexpr std::array<double, 12> kDurationBuckets = {0.001, 0.005, 0.01, 0.05, 0.1, 0.25,
                                                            0.5,   1,     2.5,  5,    10,  60};

// What a server reports about itself at one moment.
struct ServerState {
  std::string service;
  std::uint32_t processId = 0;
  std::int64_t startedAt = 0;  // seconds since 1970
  double uptimeSeconds = 0;
  bool stopping = false;
  // Whether the network side still turns (its heartbeat is recent); a wedged server is not
  // reported as healthy.
  bool responding = true;
  ProcessorSlots::Counts slots;
  std::uint64_t answered = 0;
  std::uint64_t exceptions = 0;
  std::uint64_t refused = 0;
  // Requests per histogram bucket (not cumulative); the last counts those above every bound.
  std::array<std::uint64_t, kDurationBuckets.size() + 1> durationCounts{};
  double durationSum = 0;           // seconds
  std::uint64_t durationNanos = 0;  // the same sum in nanoseconds
  std::string lastError;            // the text of the last exception or refusal; "" for none
};

class ServerStatistics {
 public:
  ServerStatistics();

  // A request ran its processor for `duration` and was answered: with an exception whose
  // text is `error`, or without one when `error` is empty.
  void Answered(std::chrono::steady_clock::duration duration, const std::string& error = "");
  // A request was refused as busy (the queue was full, or the server stops) with `reason`.
  void Refused(const std::string& reason);

  ServerState Snapshot(const std::string& service, const ProcessorSlots::Counts& slots,
                       bool stopping) const;

 private:
  // Keeps the start of `text` (at most 1 KiB) as the last failure's text.
  void NoteError(const std::string& text);

  const std::int64_t startedAt_;
  const std::chrono::steady_clock::time_point startedClock_;
  std::atomic<std::uint64_t> answered_{0};
  std::atomic<std::uint64_t> exceptions_{0};
  std::atomic<std::uint64_t> refused_{0};
  std::array<std::atomic<std::uint64_t>, kDurationBuckets.size() + 1> durationCounts_{};
  std::atomic<std::uint64_t> durationNanos_{0};
  mutable std::mutex lastErrorMutex_;
  std::string lastError_;  // guarded by lastErrorMutex_
};

}  // namespace kqm
