#include "processors/pdf/html/devtools_connection.h"

#include <algorithm>

#include "platform/os/piped_program.h"

namespace pdf::html {
namespace {

// Console messages are the events a page can make without end; they are dropped first.
bool Droppable(const nlohmann::json& event) {
  const std::string method = event.value("method", "");
  return method == "Runtime.consoleAPICalled" || method == "Log.entryAdded" ||
         method == "Runtime.exceptionThrown";
}

}  // namespace

DevToolsConnection::DevToolsConnection(os::FileHandle toBrowser, os::FileHandle fromBrowser)
    : toBrowser_(std::move(toBrowser)), fromBrowser_(std::move(fromBrowser)) {
  reader_ = std::thread([this] { Read(); });
}

DevToolsConnection::~DevToolsConnection() {
  {
    std::lock_guard<std::mutex> lock(writing_);
    toBrowser_ = os::FileHandle();
  }
  reader_.join();
}

bool DevToolsConnection::Open() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return open_;
}

void DevToolsConnection::Read() {
  std::string buffer;
  std::string reason = "the browser closed its debugging pipe";
  char chunk[65536];
  for (;;) {
    long count = os::ReadSome(fromBrowser_, chunk, sizeof chunk);
    if (count <= 0)
      break;
    std::size_t searchFrom = buffer.size();
    buffer.append(chunk, static_cast<std::size_t>(count));
    std::size_t start = 0;
    std::size_t end;
    bool broken = false;
    while ((end = buffer.find('\0', searchFrom)) != std::string::npos) {
      nlohmann::json message =
          nlohmann::json::parse(buffer.begin() + static_cast<long>(start),
                                buffer.begin() + static_cast<long>(end), nullptr, false);
      if (message.is_discarded() || !message.is_object()) {
        reason = "the browser sent a message that is not JSON";
        broken = true;
        break;
      }
      Take(std::move(message));
      start = end + 1;
      searchFrom = start;
    }
    if (broken)
      break;
    buffer.erase(0, start);
    if (buffer.size() > kMaxMessageBytes) {
      reason = "the browser sent a message larger than " + std::to_string(kMaxMessageBytes >> 20) +
               " MiB";
      break;
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  open_ = false;
  closedReason_ = reason;
  changed_.notify_all();
}

void DevToolsConnection::Take(nlohmann::json message) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (message.contains("id") && message["id"].is_number_integer()) {
    auto waiting = answers_.find(message["id"].get<std::int64_t>());
    if (waiting != answers_.end()) {
      waiting->second.arrived = true;
      waiting->second.message = std::move(message);
      changed_.notify_all();
    }
    return;
  }
  if (!message.contains("method"))
    return;
  std::string sessionId = message.value("sessionId", "");
  if (auto parent = parents_.find(sessionId); parent != parents_.end())
    sessionId = parent->second;
  auto queue = events_.find(sessionId);
  if (queue == events_.end())
    return;
  if (queue->second.size() >= kMaxQueuedEvents) {
    auto droppable = std::find_if(queue->second.begin(), queue->second.end(), Droppable);
    if (droppable != queue->second.end()) {
      queue->second.erase(droppable);
    } else if (Droppable(message)) {
      return;
    } else {
      overflowed_.insert(queue->first);
      changed_.notify_all();
      return;
    }
  }
  queue->second.push_back(std::move(message));
  changed_.notify_all();
}

std::int64_t DevToolsConnection::Write(const std::string& sessionId, const std::string& method,
                                       nlohmann::json params, bool wanted) {
  std::int64_t id;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!open_)
      ThrowClosed("");
    id = nextId_++;
    if (wanted)
      answers_[id];
  }
  nlohmann::json message{{"id", id}, {"method", method}, {"params", std::move(params)}};
  if (!sessionId.empty())
    message["sessionId"] = sessionId;
  std::string text = message.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  text.push_back('\0');
  std::string failure;
  {
    std::lock_guard<std::mutex> lock(writing_);
    failure = toBrowser_.Valid() ? os::WriteAll(toBrowser_, text) : "the connection is closed";
  }
  if (!failure.empty()) {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_.erase(id);
    throw DevToolsError("cannot write to the browser: " + failure);
  }
  return id;
}

void DevToolsConnection::ThrowClosed(const std::string& sessionId) const {
  if (open_ && overflowed_.count(sessionId) > 0)
    throw DevToolsError("the page made more than " + std::to_string(kMaxQueuedEvents) +
                        " events that wait for an answer");
  throw DevToolsError(closedReason_.empty() ? "the browser's connection is over" : closedReason_);
}

void DevToolsConnection::Send(const std::string& sessionId, const std::string& method,
                              nlohmann::json params) {
  Write(sessionId, method, std::move(params), false);
}

nlohmann::json DevToolsConnection::Call(const std::string& sessionId, const std::string& method,
                                        nlohmann::json params, Clock::time_point deadline,
                                        const EventHandler& events) {
  std::int64_t id = Write(sessionId, method, std::move(params), true);
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    Answer& answer = answers_[id];
    if (answer.arrived) {
      nlohmann::json message = std::move(answer.message);
      answers_.erase(id);
      if (message.contains("error"))
        throw DevToolsError(method + ": " + message["error"].value("message", "refused"));
      return message.value("result", nlohmann::json::object());
    }
    if (!open_ || overflowed_.count(sessionId) > 0) {
      answers_.erase(id);
      ThrowClosed(sessionId);
    }
    auto queue = events_.find(sessionId);
    if (events && queue != events_.end() && !queue->second.empty()) {
      nlohmann::json event = std::move(queue->second.front());
      queue->second.pop_front();
      lock.unlock();
      try {
        events(event);
      } catch (...) {
        lock.lock();
        answers_.erase(id);
        throw;
      }
      lock.lock();
      continue;
    }
    if (changed_.wait_until(lock, deadline) == std::cv_status::timeout && !answers_[id].arrived) {
      answers_.erase(id);
      throw DevToolsError(method + ": the browser did not answer in time", true);
    }
  }
}

void DevToolsConnection::Listen(const std::string& sessionId) {
  std::lock_guard<std::mutex> lock(mutex_);
  events_[sessionId];
}

void DevToolsConnection::ListenBelow(const std::string& sessionId, const std::string& childId) {
  std::lock_guard<std::mutex> lock(mutex_);
  parents_[childId] = sessionId;
}

void DevToolsConnection::Forget(const std::string& sessionId) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::erase_if(parents_, [&sessionId](const auto& entry) { return entry.second == sessionId; });
  events_.erase(sessionId);
  overflowed_.erase(sessionId);
}

std::optional<nlohmann::json> DevToolsConnection::NextEvent(const std::string& sessionId,
                                                            Clock::time_point deadline) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    auto queue = events_.find(sessionId);
    if (queue != events_.end() && !queue->second.empty()) {
      nlohmann::json event = std::move(queue->second.front());
      queue->second.pop_front();
      return event;
    }
    if (!open_ || overflowed_.count(sessionId) > 0)
      ThrowClosed(sessionId);
    if (changed_.wait_until(lock, deadline) == std::cv_status::timeout)
      return std::nullopt;
  }
}

}  // namespace pdf::html
