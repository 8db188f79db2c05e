#include "tests/support/gate.h"

#include <chrono>

namespace vtps_test {

void Gate::Enter() {
  std::unique_lock<std::mutex> lock(mutex_);
  ++inside_;
  changed_.notify_all();
  changed_.wait(lock, [this] { return open_; });
}

void Gate::Open() {
  std::lock_guard<std::mutex> lock(mutex_);
  open_ = true;
  changed_.notify_all();
}

bool Gate::AwaitInside(int count) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::seconds(20), [&] { return inside_ >= count; });
}

}  // namespace vtps_test
