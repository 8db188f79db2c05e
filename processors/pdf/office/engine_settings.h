// The settings of the office engine and of the processors that use it, read from the
// environment's text at the programs' edges: where the engine listens (VTPS_OFFICE_SOCKET,
// else a private folder of the user's runtime folder), how many conversions run at once
// (VTPS_OFFICE_WORKERS) and wait (VTPS_OFFICE_QUEUE), how long one may take
// (VTPS_OFFICE_TIME_LIMIT_S), how much memory one may use (VTPS_OFFICE_MAX_MEMORY_MB), how
// large an input may be (VTPS_OFFICE_MAX_INPUT_BYTES), and whether conversions may run where
// the system cannot take the network from them (VTPS_OFFICE_UNISOLATED), where LibreOffice is
// (VTPS_OFFICE_INSTALL) and which engine a processor starts (VTPS_OFFICE_ENGINE). Pure
// functions of their text.
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace pdf::office {

constexpr long long kDefaultWorkers = 2;
constexpr long long kDefaultQueue = 16;
constexpr long long kDefaultTimeLimitSeconds = 120;
constexpr long long kDefaultMaxMemoryMb = 2048;
constexpr long long kDefaultMaxInputBytes = 100LL << 20;
// An engine started by a processor (not by the service manager) ends after this long idle.
constexpr long long kDefaultIdleSeconds = 300;

struct EngineSettings {
  std::string socketPath;
  long long workers = kDefaultWorkers;
  long long queue = kDefaultQueue;
  std::chrono::seconds timeLimit{kDefaultTimeLimitSeconds};
  long long maxMemoryMb = kDefaultMaxMemoryMb;
  long long maxInputBytes = kDefaultMaxInputBytes;
  bool unisolated = false;
  std::string installPath = "/usr/lib/libreoffice/program";  // VTPS_OFFICE_INSTALL
  std::string engineProgram;  // VTPS_OFFICE_ENGINE; "" for vtps-office-engine beside the processor
};

// The variables' values, as the programs' edges read them.
struct EngineEnvironment {
  std::optional<std::string> socket, workers, queue, timeLimit, maxMemoryMb, maxInputBytes,
      unisolated, install, engine, runtimeFolder /* XDG_RUNTIME_DIR */;
  unsigned userId = 0;
};

// The variables of this process's environment: the programs' edges call this once.
EngineEnvironment EngineEnvironmentOfProcess();

// Throws PdfError naming the variable when a value is not a whole number in its range
// (workers 1 to 64, queue 0 to 1,000, time limit 1 to 86,400 s, memory 256 MB to 1 TB, input
// 1 byte to 16 GiB) or VTPS_OFFICE_UNISOLATED is not "", "0" or "1".
EngineSettings ReadEngineSettings(const EngineEnvironment& environment);

// The folder of the socket path (the engine's private runtime folder).
std::string SocketFolder(const std::string& socketPath);

}  // namespace pdf::office
