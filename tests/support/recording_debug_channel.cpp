#include "tests/support/recording_debug_channel.h"

namespace vtps_test {

std::ostream& operator<<(std::ostream& out, const DebugLine& line) {
  return out << line.level << " " << line.text;
}

void RecordingDebugChannel::DBG_Type(int level, const std::string& text) const {
  if (level > GetDebugLevel())
    return;
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.push_back({level, text});
}

std::vector<DebugLine> RecordingDebugChannel::Lines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

bool RecordingDebugChannel::Logged(int level, const std::string& text) const {
  for (const DebugLine& line : Lines()) {
    if (line == DebugLine{level, text})
      return true;
  }
  return false;
}

std::optional<std::string> RecordingDebugChannel::Find(int level, const std::string& prefix) const {
  for (const DebugLine& line : Lines()) {
    if (line.level == level && line.text.starts_with(prefix))
      return line.text;
  }
  return std::nullopt;
}

bool RecordingDebugChannel::Mentions(const std::string& part) const {
  for (const DebugLine& line : Lines()) {
    if (line.text.find(part) != std::string::npos)
      return true;
  }
  return false;
}

void RecordingDebugChannel::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.clear();
}

}  // namespace vtps_test
