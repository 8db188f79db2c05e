// DebugChannel: where a component writes its debug lines, and the level that decides which
// of them are written. The server implements it (KQM_TServer); components that only log,
// such as Execute and the configuration load, take this instead of the whole server, and
// their tests give them a recording fake.
//
// Implementations are safe to call from any thread. Writing never throws for a line the
// level turns away; what it does when the sink fails is the implementation's to say.
#pragma once

#include <string>

class DebugChannel {
 public:
  virtual ~DebugChannel() = default;

  // Writes one line when `level` <= GetDebugLevel().
  virtual void DBG_Type(int level, const std::string& text) const = 0;
  // The debug level: lines of a level above it are not written.
  virtual int GetDebugLevel() const = 0;

 protected:
  DebugChannel() = default;
  DebugChannel(const DebugChannel&) = default;
  DebugChannel& operator=(const DebugChannel&) = default;
};
