// RecordingDebugChannel: a DebugChannel for unit tests that keeps each written line as a
// (level, text) pair instead of sending it to the debug log, so that tests assert on what a
// component logged without a log file or a server. Like the server it writes only lines
// whose level is at most its debug level. Safe to use from several threads at once.
#pragma once

#include <atomic>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/kqmware/debug_channel.h"

namespace vtps_test {

struct DebugLine {
  int level;
  std::string text;

  bool operator==(const DebugLine&) const = default;
};

std::ostream& operator<<(std::ostream& out, const DebugLine& line);

class RecordingDebugChannel : public DebugChannel {
 public:
  explicit RecordingDebugChannel(int debugLevel = 4) : debugLevel_(debugLevel) {}

  void DBG_Type(int level, const std::string& text) const override;
  int GetDebugLevel() const override { return debugLevel_.load(); }
  void SetDebugLevel(int level) { debugLevel_.store(level); }

  // The lines written so far, in order.
  std::vector<DebugLine> Lines() const;
  // Whether the line (level, text) was written.
  bool Logged(int level, const std::string& text) const;
  // The text of the first line of `level` starting with `prefix`; nullopt when none.
  std::optional<std::string> Find(int level, const std::string& prefix) const;
  // Whether any line's text contains `part`.
  bool Mentions(const std::string& part) const;
  void Clear();

 private:
  std::atomic<int> debugLevel_;
  mutable std::mutex mutex_;
  mutable std::vector<DebugLine> lines_;  // guarded by mutex_
};

}  // namespace vtps_test
