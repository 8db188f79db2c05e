// KQMWare, the request middleware, for its users: the server (KQM_TServer, which is also a
// DebugChannel), the client (KQM_TClient), the connection description (KQM_TSocket) and the
// middleware's initialisation function. The parts inside the middleware have headers of
// their own: wire.h (frames and messages), service_directory.h (service ports),
// debug_log.h (where debug lines go), options.h and program_options.h (what servers and
// clients are set up with, read from the KQM_* settings by the program's edge).
#pragma once

#include "platform/kqmware/kqm_client.h"
#include "platform/kqmware/kqm_ebusy.h"
#include "platform/kqmware/kqm_server.h"
#include "platform/kqmware/kqm_socket.h"

// Makes the middleware ready: registers its classes and the typed-value library's, and sets
// the debug channel up with the debug log the program's options name (KQM_DEBUG_LOG, see
// program_options.h). Returns false when that log cannot be opened (its lines then go to the
// system log). Safe to call again.
extern "C" bool __KQ_INITIALIZATION_FUNCTION_KQMWare__();
