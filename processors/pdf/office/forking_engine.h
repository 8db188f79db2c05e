// The serving loop of an engine: a process that has prepared an expensive state once (a
// library loaded and initialised) and forks one worker per request from it. It accepts
// connections on its local socket, reads one request from each (a message with the request's
// open files), runs at most `workers` workers at once and keeps at most `queue` requests
// waiting, answers "busy" beyond that, ends a worker that passes its time limit and answers
// for a worker that ended without answering (killed, crashed, out of memory). A worker
// answers on the connection itself and ends with 0. One thread: Serve runs on the thread that
// made the engine, and the work runs in the workers, never in it.
#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/os/folder_files.h"
#include "platform/os/worker_process.h"
#include "processors/pdf/office/engine_message.h"

namespace pdf::office {

// The answer message to a request: "status" ("ok", "failed", "busy"), "message" when it
// failed, and whatever else the work adds.
EngineMessage FailedAnswer(const std::string& status, const std::string& message);

class ForkingEngine {
 public:
  struct Limits {
    long long workers = 1;
    long long queue = 0;
    std::chrono::seconds timeLimit{120};
    // Serve returns after this long with nothing to do; never without.
    std::optional<std::chrono::seconds> idleExit;
    // Named in the messages of the limits, so that the reader knows what to raise.
    std::string workersSetting, queueSetting, timeLimitSetting, memorySetting;
  };
  // Runs in a worker: the request and its files; returns the answer, which the worker sends.
  using Work = std::function<EngineMessage(const EngineMessage& request,
                                           std::vector<os::FileHandle>& files)>;
  // Called in the engine when a worker has ended, however it did (to remove what it left).
  using Ended = std::function<void(int workerId)>;

  // Takes the listening socket. `work` and `ended` are copied.
  ForkingEngine(os::FileHandle listener, Limits limits, Work work, Ended ended = {});
  ~ForkingEngine();
  ForkingEngine(const ForkingEngine&) = delete;
  ForkingEngine& operator=(const ForkingEngine&) = delete;

  // Serves until `stop` is set (checked whenever `wake`, when valid, or another event wakes
  // the loop) or the engine has been idle for Limits::idleExit. Running workers are killed on
  // the way out and their requests, and those waiting, answered as stopped.
  void Serve(const std::atomic<bool>& stop, int wake = -1);

  // How many workers ran and requests waited when the loop last looked (for status lines
  // and tests). Safe from any thread.
  std::size_t Running() const { return runningCount_.load(); }
  std::size_t Waiting() const { return waitingCount_.load(); }

 private:
  struct Request {
    os::FileHandle connection;
    EngineMessage message;
    std::vector<os::FileHandle> files;
  };
  struct Pending {
    os::FileHandle connection;
    std::chrono::steady_clock::time_point deadline;
  };
  struct Worker {
    os::WorkerProcess process;
    os::FileHandle connection;
    std::chrono::steady_clock::time_point deadline;
    bool timedOut = false;
  };

  void AcceptAll();
  void ReadPending(std::size_t index);
  void Take(Request request);
  void Start(Request request);
  void Finish(std::size_t index);
  void EndOverdue(std::chrono::steady_clock::time_point now);
  std::optional<std::chrono::milliseconds> NextWait(
      std::chrono::steady_clock::time_point now,
      std::chrono::steady_clock::time_point idleSince) const;
  void Answer(const os::FileHandle& connection, const EngineMessage& answer) const;

  os::FileHandle listener_;
  Limits limits_;
  Work work_;
  Ended ended_;
  std::vector<Pending> pending_;
  std::deque<Request> queue_;
  std::vector<Worker> running_;
  std::atomic<std::size_t> runningCount_{0};
  std::atomic<std::size_t> waitingCount_{0};
};

}  // namespace pdf::office
