// Waiting for a child process to end, with or without a deadline, without reaping it: the
// one wait behind RunCommandTree (command_posix.cpp) and ChildProcess::WaitFor
// (child_process_posix.cpp). The caller owns the child and reaps it with waitpid afterwards,
// so its id cannot be reused in between (RunCommandTree still signals the child's process
// group then). Internal to platform/os; safe from any thread, each call blocks its own.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>

namespace os {

// Returns true once `child` has ended (left as a zombie for the caller to reap), or when it
// cannot be waited for at all (not a child of this process, already reaped), which the
// caller's waitpid then reports; false when `timeout` passed first. Without a timeout it
// waits as long as the child runs; a timeout of zero only looks.
bool AwaitChildEnd(pid_t child, std::optional<std::chrono::milliseconds> timeout);

}  // namespace os
