#include "server/process_entry.h"

#include "platform/kqmware/kqmware.h"
#include "platform/kqtypes/kqtypes.h"

namespace {

bool initialized = false;

}  // namespace

bool InitializeLibrariesOnce(bool& done, bool (*middleware)(), bool (*types)()) {
  if (done)
    return true;
  done = middleware() && types();
  return done;
}

extern "C" bool __KQ_INITIALIZATION_FUNCTION_VantricProcessServer__() {
  return InitializeLibrariesOnce(initialized, &__KQ_INITIALIZATION_FUNCTION_KQMWare__,
                                 &__KQ_INITIALIZATION_FUNCTION_kqtypes__);
}
