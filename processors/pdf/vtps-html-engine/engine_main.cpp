// vtps-html-engine: one headless browser, started once and driven over its debugging pipe,
// one thread per document printed in a browser context of its own. Started by the service
// manager (the package's unit) or, with --on-demand, by the first pdf-from-html run that finds
// no engine listening; such an engine ends after five minutes idle. Settings come from the
// environment (pdf::html::ReadHtmlSettings); the socket's folder holds the engine's lock, its
// process id and the browser's log.
#include <atomic>
#include <memory>
#include <string>

#include "platform/os/local_socket.h"
#include "platform/os/os.h"
#include "platform/os/piped_program.h"
#include "platform/os/service_manager.h"
#include "platform/os/worker_process.h"
#include "processors/pdf/html/browser.h"
#include "processors/pdf/html/browser_engine.h"
#include "processors/pdf/html/html_settings.h"
#include "processors/pdf/office/engine_program.h"
#include "processors/pdf/office/engine_settings.h"
#include "processors/pdf/text/pdf_error.h"

namespace {

constexpr const char* kName = "vtps-html-engine";

int Fail(const std::string& message) {
  return pdf::office::EngineFailure(kName, message);
}

int RunEngine(bool onDemand) {
  pdf::html::HtmlSettings settings;
  try {
    settings = pdf::html::ReadHtmlSettings(pdf::html::HtmlEnvironmentOfProcess());
  } catch (const pdf::PdfError& e) {
    return Fail(e.what());
  }
  const std::string folder = pdf::office::SocketFolder(settings.socketPath);
  // One engine per socket: the lock is held until the process ends.
  pdf::office::EngineClaim claim = pdf::office::ClaimEngineFolder(kName, folder, onDemand);
  if (claim.exitCode)
    return *claim.exitCode;
  os::LiftAddressSpaceLimit();

  pdf::html::BrowserSetup setup;
  setup.program = settings.browserProgram;
  setup.withoutNetwork = settings.allowedOrigins.empty();
  setup.logPath = folder + "/browser.log";
  // The browser will not sandbox itself as root: it runs as an unprivileged user instead.
  if (os::EffectiveUserId() == 0) {
    setup.user = os::FindUser(settings.browserUser);
    if (!setup.user)
      return Fail("the engine runs as root and there is no user \"" + settings.browserUser +
                  "\" to run the browser as (VTPS_HTML_USER)");
  }
  os::BlockStopSignals();
  os::ReportStarting("starting the browser", std::chrono::seconds(60));
  std::string error;
  std::unique_ptr<pdf::html::Browser> browser = pdf::html::Browser::Start(setup, error);
  if (!browser)
    return Fail("cannot start the browser " + setup.program + ": " + error);
  os::FileHandle listener = os::ListenLocal(settings.socketPath, error);
  if (!listener.Valid())
    return Fail(error);
  std::atomic<bool> stop{false};
  os::FileHandle wake = os::TakeStopSignals(stop);
  pdf::office::WriteEnginePid(folder);

  pdf::html::BrowserEngine::Limits limits;
  limits.workers = settings.workers;
  limits.queue = settings.queue;
  limits.timeLimit = settings.timeLimit;
  if (onDemand)
    limits.idleExit = std::chrono::seconds(pdf::html::kDefaultIdleSeconds);
  limits.maxDocuments = settings.maxDocuments;
  limits.maxMemoryBytes = static_cast<std::uint64_t>(settings.maxMemoryMb) << 20;
  const std::string version = browser->Version();
  std::unique_ptr<pdf::html::BrowserEngine> engine;
  try {
    engine = std::make_unique<pdf::html::BrowserEngine>(
        std::move(listener), limits, std::move(browser),
        [setup](std::string& startError) { return pdf::html::Browser::Start(setup, startError); });
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
  os::ReportReady();
  os::ReportStatus("serving at " + settings.socketPath + " with " + version + ", " +
                   std::to_string(settings.workers) + " documents at once");
  engine->Serve(stop, wake.Get());
  os::ReportStopping(std::chrono::seconds(5));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return pdf::office::RunEngineProgram(argc, argv, kName, RunEngine);
}
