// Starting a program as the leader of a new process group: how RunCommandTree
// (command_posix.cpp) starts the command interpreter.
//
// The program is started with posix_spawn: POSIX_SPAWN_SETPGROUP with group 0 (the child
// leads a new group), POSIX_SPAWN_SETSIGDEF with every signal (each at its default action)
// and POSIX_SPAWN_SETSIGMASK with the empty set, and glibc's
// posix_spawn_file_actions_addclosefrom_np(3) closing every descriptor from 3 up, since not
// every library the server links opens its descriptors close-on-exec. glibc's posix_spawn
// locks nothing shared between threads, so a spawn never waits for another. "Every signal" is
// every signal a program can name: glibc starts each child with the two numbers it keeps for
// itself (between SIGSYS and SIGRTMIN) ignored, and installs its own handlers for them when a
// program needs them. posix_spawn sets no resource limit; RunCommandTree has the interpreter
// set its memory limit as its first command.
//
// Internal to platform/os; safe to call from any thread at once.
#pragma once

#include <sys/types.h>

#include <string>

namespace os {

// Starts the program `path` with `argv` (argv[0] being `path`) and `envp`, both
// null-terminated, as the leader of a new process group, with default handling of every
// signal, an empty signal mask and no descriptor above 2. Returns "" and sets `child`; on
// failure returns "cannot start PATH: REASON" and nothing runs.
std::string SpawnGroupLeader(const char* path, char* const argv[], char* const envp[],
                             pid_t& child);

}  // namespace os
