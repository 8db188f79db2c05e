// What every engine program (the office engine, the browser engine) does around its own
// work: its command line ("--on-demand" or nothing), its run under the service manager, its
// failures told on standard error and to the manager, its private folder with the lock that
// makes it the only engine of its socket, and its process id beside the socket. Called from
// the program's main thread.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/os/folder_files.h"

namespace pdf::office {

// Runs `run(onDemand)` as the program `name` under the service manager (or without one), and
// returns its exit code; 2 with a usage line for any command line but "" or "--on-demand".
int RunEngineProgram(int argc, char** argv, const std::string& name,
                     const std::function<int(bool onDemand)>& run);

// Tells `message` on standard error (after "NAME: ") and to the service manager; returns 1.
int EngineFailure(const std::string& name, const std::string& message);

// The engine's folder made private and its lock taken (held while `lock` is open). Without
// the lock, `exitCode` says how the program ends: 0 when started on demand (another start won
// the race, or an engine serves already), else 1 after telling why.
struct EngineClaim {
  os::FileHandle lock;
  std::optional<int> exitCode;
};
EngineClaim ClaimEngineFolder(const std::string& name, const std::string& folder, bool onDemand);

// Writes the process id into "engine.pid" in `folder`, for whoever stops an engine started on
// demand (the tests, an operator).
void WriteEnginePid(const std::string& folder);

}  // namespace pdf::office
