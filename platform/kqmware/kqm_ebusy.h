// KQM_EBusy: the exception a server answers with when it cannot take a request: every
// processor slot is busy and the queue is full, or the server is stopping. A client
// re-creates it as itself, so a caller can tell "try again later" from a failed request.
// Registered by the middleware's initialisation. A plain value: copy it freely.
#pragma once

#include "platform/kqtypes/kq_exception.h"
#include "platform/kqtypes/kq_exception_class.h"

class KQM_EBusy : public KQ_TExceptionClass<KQM_EBusy, KQ_EException> {
 public:
  static constexpr const char* KQ_ClassName = "KQM_EBusy";
  // KQ_EException's constructors: (message, data, file, line).
  using KQ_TExceptionClass::KQ_TExceptionClass;
};
