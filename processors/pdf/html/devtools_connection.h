// One connection to a browser's debugging pipe: commands and their answers, and the events of
// the sessions attached to its pages, as JSON messages each ended by a NUL byte. A reader
// thread owned by the connection takes every message off the pipe: an answer goes to the call
// that waits for it, an event to the queue of its session (only sessions someone listens to
// keep their events). Calls and event waits are safe from any thread; each document's thread
// works on its own session. When the browser closes the pipe or sends what is not JSON, the
// connection is over: every wait ends with DevToolsError.
#pragma once

#include <nlohmann/json.hpp>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/os/folder_files.h"

namespace pdf::html {

using Clock = std::chrono::steady_clock;

// A command the browser refused, an answer that did not come in time, a connection that is
// over. `timedOut` tells the second apart.
class DevToolsError : public std::runtime_error {
 public:
  DevToolsError(const std::string& message, bool timedOut = false)
      : std::runtime_error(message), timedOut_(timedOut) {}
  bool TimedOut() const { return timedOut_; }

 private:
  bool timedOut_;
};

class DevToolsConnection {
 public:
  // Called with each event of the session while a call of that session waits for its answer.
  using EventHandler = std::function<void(const nlohmann::json& event)>;

  // Takes the pipe's two ends and starts the reader.
  DevToolsConnection(os::FileHandle toBrowser, os::FileHandle fromBrowser);
  // Closes the pipe to the browser and waits for the reader, which ends when the browser
  // closes its end (the browser's owner ends the browser first).
  ~DevToolsConnection();
  DevToolsConnection(const DevToolsConnection&) = delete;
  DevToolsConnection& operator=(const DevToolsConnection&) = delete;

  // Sends `method` with `params` to the session `sessionId` ("" for the browser itself) and
  // waits until `deadline` for its answer, handing the session's events to `events` meanwhile
  // (they stay queued without one). Returns the answer's "result". Throws DevToolsError with
  // the browser's message when it refused, and when the time passed or the connection is over.
  nlohmann::json Call(const std::string& sessionId, const std::string& method,
                      nlohmann::json params, Clock::time_point deadline,
                      const EventHandler& events = {});
  // Sends without waiting; the answer is dropped. Throws DevToolsError when the connection is
  // over.
  void Send(const std::string& sessionId, const std::string& method, nlohmann::json params);

  // From now on the events of `sessionId` are kept for NextEvent and Call, at most
  // kMaxQueuedEvents of them: the oldest console messages go first when more come, and a
  // session whose queue holds none to drop is over (its waits throw DevToolsError).
  void Listen(const std::string& sessionId);
  // From now on the events of `childId` (a session the browser attached below `sessionId`: a
  // worker, a frame of another process) go into the queue of `sessionId`, where they keep
  // their own "sessionId".
  void ListenBelow(const std::string& sessionId, const std::string& childId);
  // Drops the session's queue and its children's; their later events are dropped too.
  void Forget(const std::string& sessionId);
  // The session's next event, waiting until `deadline`; nullopt when none came by then.
  // Throws DevToolsError when the connection is over and nothing is queued.
  std::optional<nlohmann::json> NextEvent(const std::string& sessionId, Clock::time_point deadline);

  // False once the browser has closed the pipe or sent what cannot be read.
  bool Open() const;

  static constexpr std::size_t kMaxQueuedEvents = 10000;
  // A message larger than this ends the connection (the PDF comes in chunks far below it).
  static constexpr std::size_t kMaxMessageBytes = 256u << 20;

 private:
  struct Answer {
    bool arrived = false;
    nlohmann::json message;
  };

  void Read();
  void Take(nlohmann::json message);
  std::int64_t Write(const std::string& sessionId, const std::string& method, nlohmann::json params,
                     bool wanted);
  // Throws why waits on `sessionId` are over; called with mutex_ held.
  [[noreturn]] void ThrowClosed(const std::string& sessionId) const;

  os::FileHandle toBrowser_;
  os::FileHandle fromBrowser_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::mutex writing_;
  std::int64_t nextId_ = 1;
  std::map<std::int64_t, Answer> answers_;  // the calls that wait
  std::map<std::string, std::deque<nlohmann::json>> events_;
  std::set<std::string> overflowed_;            // sessions that made more events than can be kept
  std::map<std::string, std::string> parents_;  // a child session's parent, whose queue it uses
  bool open_ = true;
  std::string closedReason_;
  std::thread reader_;
};

}  // namespace pdf::html
