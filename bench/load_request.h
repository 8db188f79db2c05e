// The load driver's requests and the check of their answers. Each request's parameters
// carry a value of their own, so that an answer meant for another request is caught as
// wrong. Pure functions.
#pragma once

#include <string>

#include "bench/load_options.h"
#include "platform/kqtypes/kq_any.h"
#include "platform/kqtypes/kq_dict.h"

namespace load {

// The key under which a request's own value travels in its parameters.
inline constexpr const char* kRequestKey = "loadRequest";

// The request number `index` of connection `connection` sends: {"M": method} and, when
// `parameters` is not null, "P1": those parameters, a dictionary getting the entry
// kRequestKey = "<connection>-<index>". Throws std::invalid_argument when `expect` is kEcho
// and `parameters` is not a dictionary (a null one counts as {}).
KQ_TDict MakeRequest(const std::string& method, const KQ_TAny& parameters, Expect expect,
                     int connection, long long index);

// "" when `answer` is what `request` should get back under `expect`, else a short
// description of what came instead.
std::string CheckAnswer(Expect expect, const KQ_TDict& request, const KQ_TAny& answer);

}  // namespace load
