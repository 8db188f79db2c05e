#include "platform/kqmware/refusal_log.h"

namespace kqm {

std::optional<std::string> RefusalLog::Refused(Clock::time_point now, const std::string& what) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (lastLine_ && now - *lastLine_ < std::chrono::seconds(1)) {
    ++heldBack_;
    return std::nullopt;
  }
  lastLine_ = now;
  std::string line = what;
  if (heldBack_ > 0) {
    line += " (" + std::to_string(heldBack_) + " more " + counted_ + " since the last such line)";
    heldBack_ = 0;
  }
  return line;
}

}  // namespace kqm
