// The serving loop of the browser engine: one long-lived browser, one thread per document
// printed in it. It accepts connections on the engine's local socket, reads one request from
// each (the page's address and options, with the output file open beside it), prints at most
// `workers` documents at once and keeps at most `queue` waiting, answers "busy" beyond that,
// and restarts the browser between documents once it has printed `maxDocuments` or holds more
// than `maxMemoryBytes`, and at once when it ends or stops answering (the documents it was
// printing are answered as failed). Serve runs on the thread that made the engine; the
// documents' threads only print and answer their own connection.
#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/os/folder_files.h"
#include "processors/pdf/html/browser.h"
#include "processors/pdf/office/engine_message.h"

namespace pdf::html {

class BrowserEngine {
 public:
  struct Limits {
    long long workers = 1;
    long long queue = 0;
    std::chrono::seconds timeLimit{60};
    std::optional<std::chrono::seconds> idleExit;  // Serve returns after this long idle
    long long maxDocuments = 1000;
    std::uint64_t maxMemoryBytes = 1536ull << 20;
  };
  using StartBrowser = std::function<std::unique_ptr<Browser>(std::string& error)>;

  // Takes the listening socket and a browser already started; `start` starts the next ones.
  // Throws std::runtime_error when the pipe its documents' threads report through cannot be
  // made.
  BrowserEngine(os::FileHandle listener, Limits limits, std::unique_ptr<Browser> browser,
                StartBrowser start);
  ~BrowserEngine();
  BrowserEngine(const BrowserEngine&) = delete;
  BrowserEngine& operator=(const BrowserEngine&) = delete;

  // Serves until `stop` is set (checked whenever `wake`, when valid, or another event wakes
  // the loop) or the engine has been idle for Limits::idleExit. Waiting requests are answered
  // as stopped; the documents printing are ended with the browser.
  void Serve(const std::atomic<bool>& stop, int wake = -1);

  // How many browsers have been started, the first one included (for status lines and tests).
  long long BrowserStarts() const { return browserStarts_.load(); }

 private:
  struct Request {
    os::FileHandle connection;
    office::EngineMessage message;
    std::vector<os::FileHandle> files;
  };
  struct Pending {
    os::FileHandle connection;
    std::chrono::steady_clock::time_point deadline;
  };
  struct Document {
    std::thread thread;
    // Past this the browser is taken to be stuck (the document's own waits end at its time
    // limit) and is ended, which ends every wait on it.
    std::chrono::steady_clock::time_point overdue;
    bool browserFailed = false;  // written by the thread before it says it is done
  };

  void AcceptAll();
  void ReadPending(std::size_t index);
  void Take(Request request);
  void Start(Request request);
  void Reap();
  void RestartWhenIdle();
  void EndStuckBrowser(std::chrono::steady_clock::time_point now);
  void StartWaiting();
  void Answer(const os::FileHandle& connection, const office::EngineMessage& answer) const;

  os::FileHandle listener_;
  Limits limits_;
  std::unique_ptr<Browser> browser_;
  StartBrowser startBrowser_;
  std::vector<Pending> pending_;
  std::deque<Request> queue_;
  std::list<Document> running_;
  std::mutex finishedMutex_;
  std::vector<Document*> finished_;  // guarded by finishedMutex_
  os::FileHandle finishedRead_, finishedWrite_;
  long long documentsOfBrowser_ = 0;
  bool restartWanted_ = false;
  std::atomic<long long> browserStarts_{1};
};

}  // namespace pdf::html
