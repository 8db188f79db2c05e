// vtps-office-engine: LibreOffice loaded once, one forked worker per conversion. Started by
// the service manager (the package's unit) or, with --on-demand, by the first pdf-from-office
// run that finds no engine listening; such an engine ends after five minutes idle. Settings
// come from the environment (pdf::office::ReadEngineSettings); the socket's folder holds the
// engine's lock and process id, its profile and the workers' folders.
#include <atomic>
#include <filesystem>
#include <string>

#include "platform/os/local_socket.h"
#include "platform/os/os.h"
#include "platform/os/service_manager.h"
#include "platform/os/worker_process.h"
#include "processors/pdf/office/engine_program.h"
#include "processors/pdf/office/engine_settings.h"
#include "processors/pdf/office/forking_engine.h"
#include "processors/pdf/text/pdf_error.h"
#include "processors/pdf/vtps-office-engine/lok_conversion.h"
#include "processors/pdf/vtps-office-engine/office_profile.h"

namespace {

constexpr const char* kName = "vtps-office-engine";

int Fail(const std::string& message) {
  return pdf::office::EngineFailure(kName, message);
}

int RunEngine(bool onDemand) {
  pdf::office::EngineSettings settings;
  try {
    settings = pdf::office::ReadEngineSettings(pdf::office::EngineEnvironmentOfProcess());
  } catch (const pdf::PdfError& e) {
    return Fail(e.what());
  }
  const std::string folder = pdf::office::SocketFolder(settings.socketPath);
  // One engine per socket: the lock is held until the process ends.
  pdf::office::EngineClaim claim = pdf::office::ClaimEngineFolder(kName, folder, onDemand);
  if (claim.exitCode)
    return *claim.exitCode;
  os::LiftAddressSpaceLimit();
  pdf::office::WorkerSetup setup;
  setup.installPath = settings.installPath;
  setup.profileUrl = "file://" + folder + "/profile";
  setup.workRoot = folder + "/work";
  setup.maxMemoryMb = settings.maxMemoryMb;
  setup.maxInputBytes = settings.maxInputBytes;
  setup.unisolated = settings.unisolated;
  std::error_code ignored;
  std::filesystem::remove_all(setup.workRoot, ignored);
  std::filesystem::create_directories(setup.workRoot, ignored);
  if (std::string problem = pdf::office::MakeOfficeProfile(
          folder + "/profile", pdf::office::InstalledVersion(settings.installPath));
      !problem.empty())
    return Fail(problem);
  // LibreOffice reads its profile's place from the bootstrap variable before the worker
  // gives it again; without it the workers' configuration would be the user's own.
  os::SetEnv("UserInstallation", setup.profileUrl);

  // The thread LibreOffice starts inherits the mask: stop signals reach the main thread only.
  os::BlockStopSignals();
  os::ReportStarting("loading LibreOffice", std::chrono::seconds(60));
  if (std::string problem = pdf::office::PrepareOffice(setup); !problem.empty())
    return Fail(problem);
  std::string error;
  os::FileHandle listener = os::ListenLocal(settings.socketPath, error);
  if (!listener.Valid())
    return Fail(error);
  std::atomic<bool> stop{false};
  os::FileHandle wake = os::TakeStopSignals(stop);
  pdf::office::WriteEnginePid(folder);

  pdf::office::ForkingEngine::Limits limits;
  limits.workers = settings.workers;
  limits.queue = settings.queue;
  limits.timeLimit = settings.timeLimit;
  if (onDemand)
    limits.idleExit = std::chrono::seconds(pdf::office::kDefaultIdleSeconds);
  limits.workersSetting = "VTPS_OFFICE_WORKERS";
  limits.queueSetting = "VTPS_OFFICE_QUEUE";
  limits.timeLimitSetting = "VTPS_OFFICE_TIME_LIMIT_S";
  limits.memorySetting = "VTPS_OFFICE_MAX_MEMORY_MB";
  pdf::office::ForkingEngine engine(
      std::move(listener), limits,
      [&setup](const pdf::office::EngineMessage& request, std::vector<os::FileHandle>& files) {
        return pdf::office::ConvertInWorker(setup, request, files);
      },
      [&setup](int workerId) {
        std::error_code left;
        std::filesystem::remove_all(pdf::office::WorkerFolder(setup, workerId), left);
      });
  os::ReportReady();
  os::ReportStatus("serving at " + settings.socketPath + " with " +
                   std::to_string(settings.workers) + " workers");
  engine.Serve(stop, wake.Get());
  os::ReportStopping(std::chrono::seconds(5));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return pdf::office::RunEngineProgram(argc, argv, kName, RunEngine);
}
