#include "platform/kqmware/server_statistics.h"

#include "platform/os/os.h"

namespace kqm {

namespace {

// The most of a failure's text kept: an exception's message comes from a processor and may be
// as large as a frame; the text is copied into every snapshot and a transport's stats reply.
constexpr std::size_t kMaxLastErrorBytes = 1024;

}  // namespace

void ServerStatistics::NoteError(const std::string& text) {
  std::lock_guard<std::mutex> lock(lastErrorMutex_);
  lastError_.assign(text, 0, kMaxLastErrorBytes);
}

ServerStatistics::ServerStatistics()
    : startedAt_(os::SecondsSince1970()), startedClock_(std::chrono::steady_clock::now()) {}

void ServerStatistics::Answered(std::chrono::steady_clock::duration duration,
                                const std::string& error) {
  (error.empty() ? answered_ : exceptions_).fetch_add(1, std::memory_order_relaxed);
  if (!error.empty())
    NoteError(error);
  double seconds = std::chrono::duration<double>(duration).count();
  std::size_t bucket = 0;
  while (bucket < kDurationBuckets.size() && seconds > kDurationBuckets[bucket])
    ++bucket;
  durationCounts_[bucket].fetch_add(1, std::memory_order_relaxed);
  auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(duration).count();
  durationNanos_.fetch_add(static_cast<std::uint64_t>(nanos > 0 ? nanos : 0),
                           std::memory_order_relaxed);
}

void ServerStatistics::Refused(const std::string& reason) {
  refused_.fetch_add(1, std::memory_order_relaxed);
  NoteError(reason);
}

ServerState ServerStatistics::Snapshot(const std::string& service,
                                       const ProcessorSlots::Counts& slots, bool stopping) const {
  ServerState state;
  state.service = service;
  state.processId = os::ProcessId();
  state.startedAt = startedAt_;
  state.uptimeSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - startedClock_).count();
  state.stopping = stopping;
  state.slots = slots;
  state.answered = answered_.load(std::memory_order_relaxed);
  state.exceptions = exceptions_.load(std::memory_order_relaxed);
  state.refused = refused_.load(std::memory_order_relaxed);
  for (std::size_t i = 0; i < durationCounts_.size(); ++i)
    state.durationCounts[i] = durationCounts_[i].load(std::memory_order_relaxed);
  state.durationNanos = durationNanos_.load(std::memory_order_relaxed);
  state.durationSum = static_cast<double>(state.durationNanos) / 1e9;
  std::lock_guard<std::mutex> lock(lastErrorMutex_);
  state.lastError = lastError_;
  return state;
}

}  // namespace kqm
