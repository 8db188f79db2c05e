#include "platform/os/job_notifications_windows.h"

#include <windows.h>

namespace os {

bool DrainMemoryLimitNotices(void* port) {
  bool noticed = false;
  DWORD message = 0;
  ULONG_PTR key = 0;
  OVERLAPPED* detail = nullptr;
  // A zero timeout: what the job posted has been posted by the time its interpreter ended.
  while (::GetQueuedCompletionStatus(static_cast<HANDLE>(port), &message, &key, &detail, 0)) {
    if (message == JOB_OBJECT_MSG_PROCESS_MEMORY_LIMIT ||
        message == JOB_OBJECT_MSG_JOB_MEMORY_LIMIT)
      noticed = true;
  }
  return noticed;
}

}  // namespace os
