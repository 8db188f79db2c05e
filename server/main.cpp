// VantricProcessServer: serves PDF operations by running processor programs on job files.
// It takes no arguments; its settings come from the configuration service. Started by the
// service control manager (Windows) it runs as that service; otherwise as a console program.
#include <cstdlib>
#include <iostream>

#include "platform/os/service_manager.h"
#include "server/process_entry.h"
#include "server/vt_process_server.h"

int main() {
  std::exit(os::RunAsService([] {
    // Inside the service, whose settings (KQM_DEBUG_LOG among them) are in place by now.
    // Start-up goes on even when a library reports a failure; the server reports what then
    // fails for real.
    __KQ_INITIALIZATION_FUNCTION_VantricProcessServer__();
    return ServeProcess<VTProcessServer>(std::cerr);
  }));
}
