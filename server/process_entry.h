// The two entry points of the VantricProcessServer program: the exported initialisation
// function and the console entry's run of the one server.
//
// Both belong to the main thread: the initialisation flag is a plain bool, set before any
// other thread exists.
#pragma once

#include <ostream>
#include <sstream>

#include "platform/kqtypes/kq_exception.h"
#include "server/console.h"
#include "server/request_processor.h"

// Initialises the middleware, then the typed-value library, unless that already succeeded.
// Exported from the program under exactly this name. Returns false when either library
// failed; the next call then tries both again.
extern "C" VTPS_EXPORT bool __KQ_INITIALIZATION_FUNCTION_VantricProcessServer__();

// The body of the initialisation function with its flag and the two library functions
// passed in: returns true at once when `initialized`; otherwise calls `middleware` and, if
// that succeeded, `types`, and sets `initialized` to whether both did.
bool InitializeLibrariesOnce(bool& initialized, bool (*middleware)(), bool (*types)());

// Runs the process's one server: constructs it, installs RequestProcessor with the server
// as its user pointer, runs the event loop until the server is stopped, closes and destroys
// it. Returns the exit code: 0 after a normal end; 1 after a KQ_EException and 2 after a
// std::exception escaped, each once the server (if it was built) is destroyed and the line
// "VantricProcessServer stopped:" + the exception's text is on `errors`. `Server` is
// VTProcessServer; tests put a subclass in its place.
template <class Server>
int ServeProcess(std::ostream& errors) {
  try {
    Server server;
    server.SetProcessor(&RequestProcessor, &server);
    server.EventLoop(-1);
    server.Close();
  } catch (const KQ_EException& error) {
    std::ostringstream printed;
    error.PrintOn(printed);
    WriteConsoleLine(errors, "VantricProcessServer stopped:" + printed.str());
    return 1;
  } catch (const std::exception& error) {
    WriteConsoleLine(errors, std::string("VantricProcessServer stopped:") + error.what());
    return 2;
  }
  return 0;
}
