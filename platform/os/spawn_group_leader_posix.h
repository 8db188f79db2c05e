// Starting a program as the leader of a new process group, with an address-space limit:
// what posix_spawn does for RunCommandTree, plus the limit, which posix_spawn cannot set.
//
// The child is made with clone(CLONE_VM | CLONE_VFORK): it borrows the parent's memory until
// it calls execve, so it costs no copy of the server's page tables, and between the clone and
// the execve it makes only raw system calls (no allocation, no lock, nothing a sanitizer
// intercepts). The calling thread waits until the child has called execve or given up.
// Internal to platform/os; used by command_posix.cpp.
#pragma once

#include <sys/types.h>

#include <cstdint>

namespace os {

// Starts the program `path` with `argv` and `envp` (both null-terminated) as the leader of a
// new process group. Before execve the child gets default handling of every signal, an empty
// signal mask and no descriptor above 2; when `addressSpaceBytes` is positive, also that
// RLIMIT_AS, soft and hard (lowered to the hard limit this process has when that is smaller).
// Returns 0 and sets `child`; on failure returns the error number (of the clone, or of the
// child's step that failed, whose process is then reaped). Safe from any thread; calls are
// serialised, as they share the child's stack. All signals of the calling thread are blocked
// while it waits for the child, so no handler of the server runs in the borrowed memory.
int SpawnGroupLeader(const char* path, char* const argv[], char* const envp[],
                     std::uint64_t addressSpaceBytes, pid_t& child);

}  // namespace os
