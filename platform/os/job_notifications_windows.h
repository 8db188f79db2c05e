// The job object's notifications that RunCommandTree reads on Windows: a job can post what
// happens to its processes to an I/O completion port, among them that a process reached the
// job's per-process memory limit. Internal to platform/os; used by command_windows.cpp.
#pragma once

namespace os {

// Reads every notification waiting on the completion port `port` (a HANDLE) without
// waiting for more, and says whether one of them was a memory-limit notice (per process or
// for the whole job). Notifications of processes starting and ending are read and dropped.
// Returns false when there is none, or the port cannot be read. One thread per port.
bool DrainMemoryLimitNotices(void* port);

}  // namespace os
