// ProcessorSlots decides when a request may run its processor: at most `slots` run at once,
// up to `queueLimit` more wait in one first-in first-out queue, and the rest are refused at
// once. Closing it (when the server stops) refuses whatever still waits.
//
// Thread-safe: one mutex guards the counts and the queue. Jobs are called by the caller of
// Release / Close, outside the lock, never by the object itself.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

namespace kqm {

class ProcessorSlots {
 public:
  // A waiting request: called with true once it holds a slot (it must then call Release
  // when done), or with false when it is refused because the server stops.
  using Job = std::function<void(bool granted)>;

  enum class Admission {
    kRun,      // the caller holds a slot: run now, then Release
    kQueued,   // the job waits and will be called
    kRefused,  // the queue is full or the server stops
  };

  struct Counts {
    int slots = 0;
    std::size_t queueLimit = 0;
    int running = 0;
    std::size_t queued = 0;
  };

  ProcessorSlots(int slots, std::size_t queueLimit);

  // Takes a slot when one is free, else queues the job `makeJob()` gives when there is
  // room. The job is made only when it is queued, so a request that runs at once costs no
  // allocation.
  template <class MakeJob>
  Admission Admit(MakeJob&& makeJob) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_)
      return Admission::kRefused;
    if (running_ < slots_) {
      ++running_;
      return Admission::kRun;
    }
    if (queue_.size() >= queueLimit_)
      return Admission::kRefused;
    queue_.push_back(Job(makeJob()));
    return Admission::kQueued;
  }
  // Gives a slot back. Returns the next waiting job, which now holds that slot: the caller
  // calls it with true. Empty when nobody waits.
  Job Release();
  // Admits nothing from now on. Returns the waiting jobs: the caller calls each with false.
  std::vector<Job> Close();

  Counts Snapshot() const;

 private:
  const int slots_;
  const std::size_t queueLimit_;
  mutable std::mutex mutex_;
  int running_ = 0;        // guarded by mutex_
  std::deque<Job> queue_;  // guarded by mutex_
  bool closed_ = false;    // guarded by mutex_
};

}  // namespace kqm
