// RequestProcessor, the function the middleware calls for every request to the server:
// "Help" prints the help sentence on standard output and answers true; every other method
// goes to VTProcessServer::Execute with the request's "P1" dictionary.
//
// No exception leaves it: any failure ends in the line "VantricProcessServer Exception in
// Handler." on standard error, and the answer keeps what it held (false, unless the failure
// came while it was being stored). Runs on any middleware thread at once with others; it
// keeps no state.
#pragma once

#include "platform/kqmware/kqm_server.h"
#include "platform/kqtypes/kq_any.h"
#include "platform/kqtypes/kq_dict.h"

// The sentence "Help" prints.
extern const char* const helpText;

// `user` is the VTProcessServer of the process; `server` is not used.
void RequestProcessor(KQM_TServer& server, const KQ_TDict& request, KQ_TAny& answer, void* user);
