#include "server/process_entry.h"

#include <chrono>

#include "platform/kqmware/debug_log.h"
#include "platform/kqmware/kqmware.h"
#include "platform/kqtypes/kqtypes.h"
#include "platform/os/os.h"

namespace {

bool initialized = false;

}  // namespace

bool InitializeLibrariesOnce(bool& done, bool (*middleware)(), bool (*types)()) {
  if (done)
    return true;
  done = middleware() && types();
  return done;
}

void ReportServerStopped(std::ostream& errors, const std::string& line) {
  WriteConsoleLine(errors, line);
  if (!os::Supervised())
    return;
  kqm::DebugLog::Instance().Write(kqm::FormatDebugLine(
      kqm::UtcTimestamp(std::chrono::system_clock::now()), "VantricProcessServer", os::ProcessId(),
      os::CurrentThreadId(), 0, line));
  os::ReportFailure(line);
}

extern "C" bool __KQ_INITIALIZATION_FUNCTION_VantricProcessServer__() {
  return InitializeLibrariesOnce(initialized, &__KQ_INITIALIZATION_FUNCTION_KQMWare__,
                                 &__KQ_INITIALIZATION_FUNCTION_kqtypes__);
}
