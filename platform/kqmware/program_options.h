// The middleware options of the running program, which its edge (main) reads from the
// environment and hands over here for the parts that are made without options of their own:
// the initialisation function's debug log, the initial debug level of a KQM_TServer made
// without one (its class record's factory makes them so), the four-argument Bind and a
// KQM_TClient made without options. A program that hands over nothing gets the defaults.
// Nothing here reads the environment but FromEnvironment.
//
// UseProgramOptions belongs to the program's start, before it makes servers and clients; the
// options in use may be read from any thread.
#pragma once

#include <string>

#include "platform/kqmware/options.h"

namespace kqm {

struct ProgramOptions {
  std::string debugLog;  // KQM_DEBUG_LOG: the debug lines' file; "": the system log
  int debugLevel = 0;    // KQM_DEBUG_LEVEL: a new server's debug level
  ServerOptions server;  // what the four-argument Bind binds with
  ClientOptions client;  // what a KQM_TClient made without options uses

  // The debug log, the debug level, the server's and then the client's options from the
  // environment, sharing one service directory. Throws KQ_EException naming the first
  // variable whose value is not usable.
  static ProgramOptions FromEnvironment();
};

// Makes `options` the program's.
void UseProgramOptions(const ProgramOptions& options);
// The options handed over last; the defaults before.
ProgramOptions ProgramOptionsInUse();

}  // namespace kqm
