// KQMWare, the request middleware: KQM_TServer, KQM_TClient and their wire format, service
// directory and debug channel. Include this header for all of it.
#pragma once

#include "platform/kqmware/kqm_client.h"
#include "platform/kqmware/kqm_ebusy.h"
#include "platform/kqmware/kqm_server.h"
#include "platform/kqmware/kqm_socket.h"

// Makes the middleware ready: registers its classes and the typed-value library's, and sets
// the debug channel up from KQM_DEBUG_LOG. Returns false when the debug log named there
// cannot be opened (its lines then go to the system log). Safe to call again.
extern "C" bool __KQ_INITIALIZATION_FUNCTION_KQMWare__();
