// VantricProcessServer: serves PDF operations by running processor programs on job files.
// It takes no arguments; its settings come from the configuration service. Started by the
// service control manager (Windows) it runs as that service; otherwise as a console program.
#include <cstdlib>
#include <iostream>

#include "platform/kqmware/program_options.h"
#include "platform/kqmware/settings.h"
#include "platform/os/service_manager.h"
#include "server/process_entry.h"
#include "server/server_settings.h"
#include "server/vt_process_server.h"

int main() {
  std::exit(os::RunAsService([] {
    // Inside the service, whose environment is in place by now: the program reads its
    // settings from it here, the debug log first, as the initialisation function opens it.
    kqm::ProgramOptions program;
    program.debugLog = kqm::DebugLogFile();
    kqm::UseProgramOptions(program);
    // Start-up goes on even when a library reports a failure; the server reports what then
    // fails for real.
    __KQ_INITIALIZATION_FUNCTION_VantricProcessServer__();
    return ServeProcess<VTProcessServer>(std::cerr, [&program] {
      ServerSettings settings = ServerSettings::FromEnvironment();
      // What the middleware's parts made without options (the class record's factory
      // among them) use in this process.
      program.debugLevel = settings.debugLevel;
      program.server = settings.middleware;
      program.client = settings.configurationClient;
      kqm::UseProgramOptions(program);
      return settings;
    });
  }));
}
