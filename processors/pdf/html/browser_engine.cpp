#include "processors/pdf/html/browser_engine.h"

#include <algorithm>

#include "platform/os/local_socket.h"
#include "platform/os/piped_program.h"
#include "processors/pdf/html/page_printer.h"

namespace pdf::html {
namespace {

// A connection that sends no request within this time is closed.
constexpr std::chrono::seconds kRequestWait{10};
// How long past its time limit a document may take to end before its browser is ended.
constexpr std::chrono::seconds kOverdueGrace{30};

office::EngineMessage Failed(const std::string& status, const std::string& message) {
  office::EngineMessage answer;
  answer.Add("status", status);
  answer.Add("message", message);
  return answer;
}

}  // namespace

BrowserEngine::BrowserEngine(os::FileHandle listener, Limits limits,
                             std::unique_ptr<Browser> browser, StartBrowser start)
    : listener_(std::move(listener)),
      limits_(limits),
      browser_(std::move(browser)),
      startBrowser_(std::move(start)) {
  if (std::string failure = os::MakePipe(finishedRead_, finishedWrite_); !failure.empty())
    throw std::runtime_error(failure);
}

BrowserEngine::~BrowserEngine() {
  // The browser's processes end first, so that every document's wait on it ends; the
  // connection the documents' threads use goes only once they have.
  if (browser_)
    browser_->Kill();
  for (Document& document : running_)
    document.thread.join();
  browser_.reset();
}

void BrowserEngine::EndStuckBrowser(std::chrono::steady_clock::time_point now) {
  if (!browser_ || restartWanted_)
    return;
  for (const Document& document : running_) {
    if (now >= document.overdue) {
      browser_->Kill();
      restartWanted_ = true;
      return;
    }
  }
}

void BrowserEngine::Serve(const std::atomic<bool>& stop, int wake) {
  Clock::time_point idleSince = Clock::now();
  while (!stop.load()) {
    Clock::time_point now = Clock::now();
    if (!running_.empty() || !queue_.empty() || !pending_.empty()) {
      idleSince = now;
    } else if (limits_.idleExit && now - idleSince >= *limits_.idleExit) {
      AcceptAll();
      if (pending_.empty())
        return;
      continue;
    }
    // The order: the listener, the pending connections, the finished documents' pipe, the
    // browser's end, the stop signal's.
    std::vector<int> watched{listener_.Get()};
    for (const Pending& pending : pending_)
      watched.push_back(pending.connection.Get());
    std::size_t finishedAt = watched.size();
    watched.push_back(finishedRead_.Get());
    std::size_t browserAt = watched.size();
    // A browser known to need a restart is no longer watched: its end stays readable.
    watched.push_back(browser_ && !restartWanted_ ? browser_->EndDescriptor() : -1);
    if (wake >= 0)
      watched.push_back(wake);
    EndStuckBrowser(now);
    std::optional<Clock::time_point> next;
    for (const Pending& pending : pending_)
      next = next ? std::min(*next, pending.deadline) : pending.deadline;
    if (!restartWanted_) {
      for (const Document& document : running_)
        next = next ? std::min(*next, document.overdue) : document.overdue;
    }
    if (limits_.idleExit && running_.empty() && queue_.empty() && pending_.empty())
      next = idleSince + *limits_.idleExit;
    std::optional<std::chrono::milliseconds> timeout;
    if (next)
      timeout = std::max(std::chrono::milliseconds(0),
                         std::chrono::ceil<std::chrono::milliseconds>(*next - now));
    std::vector<std::size_t> ready = os::WaitReadable(watched, timeout);
    for (std::size_t position : ready) {
      if (position == finishedAt)
        Reap();
      if (position == browserAt && browser_)
        restartWanted_ = true;  // it ended: its documents fail, then it is started again
    }
    for (auto it = ready.rbegin(); it != ready.rend(); ++it) {
      if (*it >= 1 && *it < finishedAt)
        ReadPending(*it - 1);
    }
    if (!ready.empty() && ready.front() == 0)
      AcceptAll();
    now = Clock::now();
    std::erase_if(pending_, [now](const Pending& pending) { return now >= pending.deadline; });
    RestartWhenIdle();
  }
  for (const Request& request : queue_)
    Answer(request.connection, Failed("failed", "the browser engine was stopped"));
  queue_.clear();
}

void BrowserEngine::AcceptAll() {
  for (;;) {
    os::FileHandle connection = os::AcceptLocal(listener_);
    if (!connection.Valid())
      return;
    pending_.push_back({std::move(connection), std::chrono::steady_clock::now() + kRequestWait});
  }
}

void BrowserEngine::ReadPending(std::size_t index) {
  Pending pending = std::move(pending_[index]);
  pending_.erase(pending_.begin() + static_cast<long>(index));
  os::LocalMessage message;
  std::string error;
  if (os::ReceiveLocalMessage(pending.connection, std::chrono::milliseconds(0), message, error) !=
      os::Received::kMessage)
    return;
  std::optional<office::EngineMessage> request = office::EngineMessage::Decode(message.bytes);
  if (!request || message.files.size() != 1) {
    Answer(pending.connection,
           Failed("failed", "the request is not one this engine reads (a page and its output)"));
    return;
  }
  Take({std::move(pending.connection), std::move(*request), std::move(message.files)});
}

void BrowserEngine::Take(Request request) {
  bool canStart =
      !restartWanted_ && browser_ && static_cast<long long>(running_.size()) < limits_.workers;
  if (canStart) {
    Start(std::move(request));
  } else if (static_cast<long long>(queue_.size()) <
             // Without a browser (its start failed) one request may wait for the next start.
             std::max<long long>(limits_.queue, browser_ ? 0 : 1)) {
    queue_.push_back(std::move(request));
  } else {
    Answer(request.connection,
           Failed("busy", "the browser engine is busy: " + std::to_string(running_.size()) +
                              " documents print (VTPS_HTML_WORKERS) and " +
                              std::to_string(queue_.size()) +
                              " wait (VTPS_HTML_QUEUE); try again later"));
  }
}

void BrowserEngine::Start(Request request) {
  ++documentsOfBrowser_;
  running_.emplace_back();
  Document* document = &running_.back();
  DevToolsConnection& connection = browser_->Connection();
  auto deadline = std::chrono::steady_clock::now() + limits_.timeLimit;
  document->overdue = deadline + kOverdueGrace;
  const long long limitSeconds = limits_.timeLimit.count();
  document->thread = std::thread([this, document, &connection, deadline, limitSeconds,
                                  request = std::move(request)]() mutable {
    PrintOutcome outcome =
        PrintPage(connection, request.message, request.connection, request.files[0], deadline);
    office::EngineMessage answer = outcome.answer;
    if (outcome.timedOut) {
      answer = Failed("failed", "the document took longer than " + std::to_string(limitSeconds) +
                                    " s (VTPS_HTML_TIME_LIMIT_S) and was ended");
      for (const std::string& warning : outcome.answer.All("warning"))
        answer.Add("warning", warning);
    }
    Answer(request.connection, answer);
    std::lock_guard<std::mutex> lock(finishedMutex_);
    document->browserFailed = outcome.browserFailed;
    finished_.push_back(document);
    os::WriteAll(finishedWrite_, "x");
  });
}

void BrowserEngine::Reap() {
  char drained[64];
  std::vector<Document*> finished;
  {
    std::lock_guard<std::mutex> lock(finishedMutex_);
    finished.swap(finished_);
    // One byte was written per document; the pipe holds at most as many as have finished.
    std::size_t bytes = finished.size();
    while (bytes > 0) {
      long count = os::ReadSome(finishedRead_, drained, std::min(bytes, sizeof drained));
      if (count <= 0)
        break;
      bytes -= static_cast<std::size_t>(count);
    }
  }
  for (Document* document : finished) {
    document->thread.join();
    if (document->browserFailed)
      restartWanted_ = true;
    running_.remove_if([document](const Document& d) { return &d == document; });
  }
  if (browser_ && (documentsOfBrowser_ >= limits_.maxDocuments ||
                   browser_->MemoryBytes() > limits_.maxMemoryBytes))
    restartWanted_ = true;
  StartWaiting();
}

void BrowserEngine::RestartWhenIdle() {
  if (!restartWanted_ || !running_.empty())
    return;
  // A browser that could not be started is tried again when a document waits for it.
  if (!browser_ && queue_.empty())
    return;
  browser_.reset();
  restartWanted_ = false;
  documentsOfBrowser_ = 0;
  std::string error;
  browser_ = startBrowser_(error);
  ++browserStarts_;
  if (!browser_) {
    for (const Request& request : queue_)
      Answer(request.connection, Failed("failed", "cannot start the browser: " + error));
    queue_.clear();
    restartWanted_ = true;
    return;
  }
  StartWaiting();
}

void BrowserEngine::StartWaiting() {
  while (!restartWanted_ && browser_ && !queue_.empty() &&
         static_cast<long long>(running_.size()) < limits_.workers) {
    Request next = std::move(queue_.front());
    queue_.pop_front();
    Start(std::move(next));
  }
}

void BrowserEngine::Answer(const os::FileHandle& connection,
                           const office::EngineMessage& answer) const {
  os::SendLocalMessage(connection, answer.Encode());
}

}  // namespace pdf::html
