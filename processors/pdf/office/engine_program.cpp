#include "processors/pdf/office/engine_program.h"

#include <fstream>
#include <iostream>

#include "platform/os/local_socket.h"
#include "platform/os/os.h"
#include "platform/os/service_manager.h"

namespace pdf::office {

int RunEngineProgram(int argc, char** argv, const std::string& name,
                     const std::function<int(bool onDemand)>& run) {
  bool onDemand = argc == 2 && std::string(argv[1]) == "--on-demand";
  if (argc > 2 || (argc == 2 && !onDemand)) {
    std::cerr << "usage: " << name << " [--on-demand]\n";
    return 2;
  }
  return os::RunAsService([&run, onDemand] { return run(onDemand); });
}

int EngineFailure(const std::string& name, const std::string& message) {
  std::cerr << name << ": " << message << "\n";
  os::ReportFailure(message);
  return 1;
}

EngineClaim ClaimEngineFolder(const std::string& name, const std::string& folder, bool onDemand) {
  EngineClaim claim;
  if (std::string problem = os::PreparePrivateFolder(folder); !problem.empty()) {
    claim.exitCode = EngineFailure(name, problem);
    return claim;
  }
  claim.lock = os::TakeLock(folder + "/engine.lock");
  if (!claim.lock.Valid())
    claim.exitCode =
        onDemand ? 0 : EngineFailure(name, "another engine holds " + folder + "/engine.lock");
  return claim;
}

void WriteEnginePid(const std::string& folder) {
  std::ofstream(folder + "/engine.pid") << os::ProcessId() << "\n";
}

}  // namespace pdf::office
