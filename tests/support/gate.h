// A gate the requests of a test processor wait at until the test opens it, so that a test
// can hold processor slots busy and count who is inside. Thread-safe.
#pragma once

#include <condition_variable>
#include <mutex>

namespace vtps_test {

class Gate {
 public:
  // Waits until the gate is open, counting the caller as inside meanwhile.
  void Enter();
  // Opens the gate for everyone waiting and everyone to come.
  void Open();
  // Whether at least `count` callers have entered within 20 s.
  bool AwaitInside(int count);

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int inside_ = 0;     // guarded by mutex_
  bool open_ = false;  // guarded by mutex_
};

}  // namespace vtps_test
