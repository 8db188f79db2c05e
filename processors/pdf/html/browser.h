// One run of the browser: the program started with its debugging pipe as its descriptors 3
// and 4, a user-data folder made for this run and removed with it, as an unprivileged user
// when the engine runs as root (the browser refuses to sandbox itself as root), and the
// connection on its pipe. Owned by the engine's serving thread; the connection is shared with
// the documents' threads, which must be done with it before the browser is destroyed.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/os/piped_program.h"
#include "processors/pdf/html/devtools_connection.h"

namespace pdf::html {

struct BrowserSetup {
  std::string program;                   // "/usr/bin/chromium-headless-shell"
  std::optional<os::UserIdentity> user;  // whom it runs as; nullopt: as the engine
  bool withoutNetwork = true;  // no origin is allowed: no network at all, no host resolves
  std::string logPath;         // its standard error; "" for none
};

// The browser's command line for `setup` and its user-data folder.
std::vector<std::string> BrowserArguments(const BrowserSetup& setup,
                                          const std::string& userDataFolder);

class Browser {
 public:
  // Starts the browser and waits until it answers. Returns null and sets `error` when it
  // cannot be started or does not answer within 30 s.
  static std::unique_ptr<Browser> Start(const BrowserSetup& setup, std::string& error);
  ~Browser();  // ends the browser and removes its folder

  // Ends the browser's processes now: its pipe closes and every wait on it ends.
  void Kill();
  Browser(const Browser&) = delete;
  Browser& operator=(const Browser&) = delete;

  DevToolsConnection& Connection() { return *connection_; }
  // Readable once the browser has ended.
  int EndDescriptor() const { return process_.EndDescriptor(); }
  // The resident memory of the browser's processes together.
  std::uint64_t MemoryBytes() const { return os::GroupResidentBytes(process_.Id()); }
  std::string Version() const { return version_; }

 private:
  Browser() = default;

  os::WorkerProcess process_;
  std::unique_ptr<DevToolsConnection> connection_;
  std::string userDataFolder_;
  std::string version_;
};

}  // namespace pdf::html
