// The two entry points of the VantricProcessServer program: the exported initialisation
// function and the run of the one server, from a console or as a service (main() runs it
// through os::RunAsService).
//
// Both belong to the main thread: the initialisation flag is a plain bool, set before any
// other thread exists.
#pragma once

#include <ostream>
#include <sstream>

#include "platform/kqtypes/kq_exception.h"
#include "platform/os/service_manager.h"
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

// Writes `line`, why the server stopped, to `errors`; when a service manager started the
// program, also to the debug log (at level 0) and to the service manager (see
// os::ReportFailure), since a service's standard error may reach no one.
void ReportServerStopped(std::ostream& errors, const std::string& line);

// Runs the process's one server: reads its settings with `readSettings` (returning
// ServerSettings), constructs it with them (bound and configured), installs
// RequestProcessor with the server as its user pointer, tells the service manager it is ready,
// runs the event loop until the server is stopped, closes and destroys it. Returns the exit
// code: 0 after a normal end; 1 after a KQ_EException (an unusable setting among them) and 2
// after a std::exception escaped, each once the server (if it was built) is destroyed and the
// line "VantricProcessServer stopped:" + the exception's text is reported
// (ReportServerStopped). `Server` is VTProcessServer; tests put a subclass in its place.
template <class Server, class ReadSettings>
int ServeProcess(std::ostream& errors, ReadSettings readSettings) {
  try {
    Server server(readSettings());
    server.SetProcessor(&RequestProcessor, &server);
    // Bound and configured: what connects from now on is answered.
    os::ReportReady();
    server.EventLoop(-1);
    server.Close();
  } catch (const KQ_EException& error) {
    std::ostringstream printed;
    error.PrintOn(printed);
    ReportServerStopped(errors, "VantricProcessServer stopped:" + printed.str());
    return 1;
  } catch (const std::exception& error) {
    ReportServerStopped(errors, std::string("VantricProcessServer stopped:") + error.what());
    return 2;
  }
  return 0;
}
