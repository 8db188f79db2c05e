#include "processors/pdf/office/forking_engine.h"

#include <signal.h>

#include <algorithm>

#include "platform/os/local_socket.h"

namespace pdf::office {
namespace {

using Clock = std::chrono::steady_clock;

// A connection that sends no request within this time is closed.
constexpr std::chrono::seconds kRequestWait{10};

std::string SignalName(int signal) {
  switch (signal) {
    case SIGKILL:
      return "SIGKILL";
    case SIGSEGV:
      return "SIGSEGV";
    case SIGABRT:
      return "SIGABRT";
    case SIGBUS:
      return "SIGBUS";
    case SIGXFSZ:
      return "SIGXFSZ";
    default:
      return "signal " + std::to_string(signal);
  }
}

}  // namespace

EngineMessage FailedAnswer(const std::string& status, const std::string& message) {
  EngineMessage answer;
  answer.Add("status", status);
  answer.Add("message", message);
  return answer;
}

ForkingEngine::ForkingEngine(os::FileHandle listener, Limits limits, Work work, Ended ended)
    : listener_(std::move(listener)),
      limits_(std::move(limits)),
      work_(std::move(work)),
      ended_(std::move(ended)) {}

ForkingEngine::~ForkingEngine() {
  for (Worker& worker : running_) {
    worker.process.Kill();
    int id = worker.process.Id();
    worker.process.Reap();
    if (ended_)
      ended_(id);
  }
}

void ForkingEngine::Serve(const std::atomic<bool>& stop, int wake) {
  Clock::time_point idleSince = Clock::now();
  while (!stop.load()) {
    Clock::time_point now = Clock::now();
    if (!running_.empty() || !queue_.empty() || !pending_.empty())
      idleSince = now;
    else if (limits_.idleExit && now - idleSince >= *limits_.idleExit) {
      // A connection that came in the last moment is served, not dropped.
      AcceptAll();
      if (pending_.empty())
        return;
      continue;
    }
    EndOverdue(now);
    runningCount_ = running_.size();
    waitingCount_ = queue_.size();
    // The order of the descriptors: the listener, the pending connections, the workers, the
    // stop signal's.
    std::vector<int> watched{listener_.Get()};
    for (const Pending& pending : pending_)
      watched.push_back(pending.connection.Get());
    for (const Worker& worker : running_)
      watched.push_back(worker.process.EndDescriptor());
    std::size_t workersEnd = watched.size();
    if (wake >= 0)
      watched.push_back(wake);
    std::vector<std::size_t> ready = os::WaitReadable(watched, NextWait(now, idleSince));
    // Workers first, from the back, so that the positions before them stay valid.
    std::size_t firstWorker = 1 + pending_.size();
    for (auto it = ready.rbegin(); it != ready.rend(); ++it) {
      if (*it >= firstWorker && *it < workersEnd)
        Finish(*it - firstWorker);
    }
    for (auto it = ready.rbegin(); it != ready.rend(); ++it) {
      if (*it >= 1 && *it < firstWorker)
        ReadPending(*it - 1);
    }
    if (!ready.empty() && ready.front() == 0)
      AcceptAll();
    // Connections that sent nothing in time are dropped.
    now = Clock::now();
    std::erase_if(pending_, [now](const Pending& pending) { return now >= pending.deadline; });
  }
  for (Worker& worker : running_) {
    worker.process.Kill();
    Answer(worker.connection, FailedAnswer("failed", "the office engine was stopped"));
  }
  for (const Request& request : queue_)
    Answer(request.connection, FailedAnswer("failed", "the office engine was stopped"));
}

void ForkingEngine::AcceptAll() {
  for (;;) {
    os::FileHandle connection = os::AcceptLocal(listener_);
    if (!connection.Valid())
      return;
    pending_.push_back({std::move(connection), Clock::now() + kRequestWait});
  }
}

void ForkingEngine::ReadPending(std::size_t index) {
  Pending pending = std::move(pending_[index]);
  pending_.erase(pending_.begin() + static_cast<long>(index));
  os::LocalMessage message;
  std::string error;
  os::Received received =
      os::ReceiveLocalMessage(pending.connection, std::chrono::milliseconds(0), message, error);
  if (received != os::Received::kMessage)
    return;  // closed, or not a message: the connection goes
  std::optional<EngineMessage> request = EngineMessage::Decode(message.bytes);
  if (!request) {
    Answer(pending.connection, FailedAnswer("failed", "the request is not one this engine reads"));
    return;
  }
  Take({std::move(pending.connection), std::move(*request), std::move(message.files)});
}

void ForkingEngine::Take(Request request) {
  if (static_cast<long long>(running_.size()) < limits_.workers) {
    Start(std::move(request));
  } else if (static_cast<long long>(queue_.size()) < limits_.queue) {
    queue_.push_back(std::move(request));
  } else {
    Answer(request.connection,
           FailedAnswer("busy", "the office engine is busy: " + std::to_string(running_.size()) +
                                    " conversions run (" + limits_.workersSetting + ") and " +
                                    std::to_string(queue_.size()) + " wait (" +
                                    limits_.queueSetting + "); try again later"));
  }
}

void ForkingEngine::Start(Request request) {
  std::string error;
  const os::FileHandle& connection = request.connection;
  os::WorkerProcess process = os::WorkerProcess::Fork(
      [this, &request, &connection]() {
        // The worker keeps only its own request's connection and files: the engine's other
        // connections must close when the engine closes them.
        os::FileHandle(listener_.Release());
        for (Pending& pending : pending_)
          os::FileHandle(pending.connection.Release());
        for (Request& waiting : queue_)
          os::FileHandle(waiting.connection.Release());
        for (Worker& worker : running_)
          os::FileHandle(worker.connection.Release());
        EngineMessage answer;
        try {
          answer = work_(request.message, request.files);
        } catch (const std::exception& e) {
          answer = FailedAnswer("failed", e.what());
        }
        return os::SendLocalMessage(connection, answer.Encode()).empty() ? 0 : 71;
      },
      error);
  if (!process.Running()) {
    Answer(connection, FailedAnswer("failed", error));
    return;
  }
  // The worker has its own copies of the files; the engine keeps only the connection.
  running_.push_back(
      {std::move(process), std::move(request.connection), Clock::now() + limits_.timeLimit, false});
}

void ForkingEngine::Finish(std::size_t index) {
  Worker worker = std::move(running_[index]);
  running_.erase(running_.begin() + static_cast<long>(index));
  int id = worker.process.Id();
  os::WorkerEnd end = worker.process.Reap();
  if (worker.timedOut) {
    Answer(worker.connection,
           FailedAnswer("failed", "the conversion took longer than " +
                                      std::to_string(limits_.timeLimit.count()) + " s (" +
                                      limits_.timeLimitSetting + ") and was ended"));
  } else if (end.exitCode != 0) {
    std::string how = end.signal != 0 ? "with " + SignalName(end.signal)
                                      : "with exit code " + std::to_string(end.exitCode);
    std::string hint = end.signal == SIGXFSZ
                           ? ": the PDF grew past the output limit"
                           : ": the document may need more memory than " + limits_.memorySetting +
                                 " allows, or the office software failed on it";
    Answer(worker.connection, FailedAnswer("failed", "the conversion ended " + how + hint));
  }
  if (ended_)
    ended_(id);
  if (!queue_.empty()) {
    Request next = std::move(queue_.front());
    queue_.pop_front();
    Start(std::move(next));
  }
}

void ForkingEngine::EndOverdue(Clock::time_point now) {
  for (Worker& worker : running_) {
    if (!worker.timedOut && now >= worker.deadline) {
      worker.timedOut = true;
      worker.process.Kill();
    }
  }
}

std::optional<std::chrono::milliseconds> ForkingEngine::NextWait(
    Clock::time_point now, Clock::time_point idleSince) const {
  std::optional<Clock::time_point> next;
  auto consider = [&next](Clock::time_point when) {
    if (!next || when < *next)
      next = when;
  };
  for (const Worker& worker : running_) {
    if (!worker.timedOut)
      consider(worker.deadline);
  }
  for (const Pending& pending : pending_)
    consider(pending.deadline);
  if (limits_.idleExit && running_.empty() && queue_.empty() && pending_.empty())
    consider(idleSince + *limits_.idleExit);
  if (!next)
    return std::nullopt;
  return std::max(std::chrono::milliseconds(0),
                  std::chrono::ceil<std::chrono::milliseconds>(*next - now));
}

void ForkingEngine::Answer(const os::FileHandle& connection, const EngineMessage& answer) const {
  os::SendLocalMessage(connection, answer.Encode());
}

}  // namespace pdf::office
