// VantricProcessServer: serves PDF operations by running processor programs on job files.
// It takes no arguments; its settings come from the configuration service.
#include <cstdlib>
#include <iostream>

#include "server/process_entry.h"
#include "server/vt_process_server.h"

int main() {
  // Start-up goes on even when a library reports a failure; the server reports what then
  // fails for real.
  __KQ_INITIALIZATION_FUNCTION_VantricProcessServer__();
  std::exit(ServeProcess<VTProcessServer>(std::cerr));
}
