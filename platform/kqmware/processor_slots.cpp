#include "platform/kqmware/processor_slots.h"

namespace kqm {

ProcessorSlots::ProcessorSlots(int slots, std::size_t queueLimit)
    : slots_(slots), queueLimit_(queueLimit) {}

ProcessorSlots::Job ProcessorSlots::Release() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (queue_.empty()) {
    --running_;
    return {};
  }
  // The slot passes straight to the oldest waiting job.
  Job next = std::move(queue_.front());
  queue_.pop_front();
  return next;
}

std::vector<ProcessorSlots::Job> ProcessorSlots::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
  std::vector<Job> waiting(std::make_move_iterator(queue_.begin()),
                           std::make_move_iterator(queue_.end()));
  queue_.clear();
  return waiting;
}

ProcessorSlots::Counts ProcessorSlots::Snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return {slots_, queueLimit_, running_, queue_.size()};
}

}  // namespace kqm
