#include "processors/pdf/office/engine_settings.h"

#include "platform/os/os.h"
#include "platform/os/worker_process.h"
#include "processors/pdf/run/limit_settings.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::office {

EngineEnvironment EngineEnvironmentOfProcess() {
  EngineEnvironment environment;
  environment.socket = os::GetEnv("VTPS_OFFICE_SOCKET");
  environment.workers = os::GetEnv("VTPS_OFFICE_WORKERS");
  environment.queue = os::GetEnv("VTPS_OFFICE_QUEUE");
  environment.timeLimit = os::GetEnv("VTPS_OFFICE_TIME_LIMIT_S");
  environment.maxMemoryMb = os::GetEnv("VTPS_OFFICE_MAX_MEMORY_MB");
  environment.maxInputBytes = os::GetEnv("VTPS_OFFICE_MAX_INPUT_BYTES");
  environment.unisolated = os::GetEnv("VTPS_OFFICE_UNISOLATED");
  environment.install = os::GetEnv("VTPS_OFFICE_INSTALL");
  environment.engine = os::GetEnv("VTPS_OFFICE_ENGINE");
  environment.runtimeFolder = os::GetEnv("XDG_RUNTIME_DIR");
  environment.userId = os::EffectiveUserId();
  return environment;
}

EngineSettings ReadEngineSettings(const EngineEnvironment& environment) {
  EngineSettings settings;
  if (environment.socket && !environment.socket->empty())
    settings.socketPath = *environment.socket;
  else if (environment.runtimeFolder && !environment.runtimeFolder->empty())
    settings.socketPath = *environment.runtimeFolder + "/vtps-office/engine.sock";
  else
    settings.socketPath = "/tmp/vtps-office-" + std::to_string(environment.userId) + "/engine.sock";
  settings.workers =
      run::WholeNumberSetting("VTPS_OFFICE_WORKERS", environment.workers, kDefaultWorkers, 1, 64);
  settings.queue =
      run::WholeNumberSetting("VTPS_OFFICE_QUEUE", environment.queue, kDefaultQueue, 0, 1000);
  settings.timeLimit = std::chrono::seconds(run::WholeNumberSetting(
      "VTPS_OFFICE_TIME_LIMIT_S", environment.timeLimit, kDefaultTimeLimitSeconds, 1, 86400));
  settings.maxMemoryMb = run::WholeNumberSetting(
      "VTPS_OFFICE_MAX_MEMORY_MB", environment.maxMemoryMb, kDefaultMaxMemoryMb, 256, 1LL << 20);
  settings.maxInputBytes =
      run::WholeNumberSetting("VTPS_OFFICE_MAX_INPUT_BYTES", environment.maxInputBytes,
                              kDefaultMaxInputBytes, 1, 16LL << 30);
  const std::string unisolated = environment.unisolated.value_or("");
  if (unisolated != "" && unisolated != "0" && unisolated != "1")
    throw PdfError("VTPS_OFFICE_UNISOLATED must be 0 or 1, not \"" + unisolated + "\"");
  settings.unisolated = unisolated == "1";
  if (environment.install && !environment.install->empty())
    settings.installPath = *environment.install;
  settings.engineProgram = environment.engine.value_or("");
  return settings;
}

std::string SocketFolder(const std::string& socketPath) {
  std::size_t slash = socketPath.rfind('/');
  if (slash == std::string::npos)
    return ".";
  return slash == 0 ? "/" : socketPath.substr(0, slash);
}

}  // namespace pdf::office
