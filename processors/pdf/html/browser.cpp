#include "processors/pdf/html/browser.h"

#include <filesystem>

namespace pdf::html {
namespace {

constexpr std::chrono::seconds kStartWait{30};

}  // namespace

std::vector<std::string> BrowserArguments(const BrowserSetup& setup,
                                          const std::string& userDataFolder) {
  std::vector<std::string> arguments{
      "--remote-debugging-pipe",
      "--user-data-dir=" + userDataFolder,
      "--no-first-run",
      "--no-default-browser-check",
      "--disable-gpu",
      "--disable-extensions",
      "--disable-background-networking",
      "--disable-component-update",
      "--disable-default-apps",
      "--disable-sync",
      "--disable-breakpad",
      "--mute-audio",
      "--hide-scrollbars",
      "--no-pings",
      // A page opens no window of its own (window.open, target=_blank): only the page that
      // is printed loads, and every request of it is put to the processor.
      "--block-new-web-contents",
      "--force-webrtc-ip-handling-policy=disable_non_proxied_udp",
  };
  // Every request is answered by the engine; without an allowed origin the browser also has
  // no network and resolves no host, a second wall for what would pass the first (a
  // WebSocket, which the protocol cannot pause).
  if (setup.withoutNetwork)
    arguments.push_back("--host-resolver-rules=MAP * ~NOTFOUND");
  arguments.push_back("about:blank");
  return arguments;
}

std::unique_ptr<Browser> Browser::Start(const BrowserSetup& setup, std::string& error) {
  std::unique_ptr<Browser> browser(new Browser());
  browser->userDataFolder_ = os::MakeTemporaryFolder(
      std::filesystem::temp_directory_path().string() + "/vtps-browser-", setup.user, error);
  if (browser->userDataFolder_.empty())
    return nullptr;
  os::FileHandle toBrowserRead, toBrowserWrite, fromBrowserRead, fromBrowserWrite;
  if (error = os::MakePipe(toBrowserRead, toBrowserWrite); !error.empty())
    return nullptr;
  if (error = os::MakePipe(fromBrowserRead, fromBrowserWrite); !error.empty())
    return nullptr;
  os::FileHandle log;
  if (!setup.logPath.empty())
    log = os::OpenLogFile(setup.logPath);
  browser->process_ =
      os::StartPipedProgram(setup.program, BrowserArguments(setup, browser->userDataFolder_),
                            {toBrowserRead.Get(), fromBrowserWrite.Get()}, setup.user,
                            setup.withoutNetwork, log.Valid() ? log.Get() : -1, error);
  if (!browser->process_.Running())
    return nullptr;
  // The browser's ends are its own now: its pipe closes when it ends.
  toBrowserRead = os::FileHandle();
  fromBrowserWrite = os::FileHandle();
  browser->connection_ =
      std::make_unique<DevToolsConnection>(std::move(toBrowserWrite), std::move(fromBrowserRead));
  try {
    nlohmann::json version =
        browser->connection_->Call("", "Browser.getVersion", {}, Clock::now() + kStartWait);
    browser->version_ = version.value("product", "");
  } catch (const DevToolsError& e) {
    error = "the browser " + setup.program + " did not answer: " + e.what() +
            (setup.logPath.empty() ? std::string() : " (see " + setup.logPath + ")");
    return nullptr;
  }
  return browser;
}

void Browser::Kill() {
  process_.Kill();
}

Browser::~Browser() {
  process_.Kill();
  process_.Reap();
  connection_.reset();
  if (!userDataFolder_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(userDataFolder_, ignored);
  }
}

}  // namespace pdf::html
