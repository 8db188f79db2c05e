#include "platform/kqmware/kqmware.h"

#include "platform/kqmware/debug_log.h"
#include "platform/kqmware/kqm_ebusy.h"
#include "platform/kqtypes/kqtypes.h"

extern "C" bool __KQ_INITIALIZATION_FUNCTION_KQMWare__() {
  // Exceptions travel as the classes of both libraries, so both sets of records must exist
  // before the first reply arrives.
  __KQ_INITIALIZATION_FUNCTION_kqtypes__();
  KQM_TServer::KQ_ClassObject();
  KQM_EBusy::KQ_ClassObject();
  return kqm::DebugLog::Instance().Configure();
}
