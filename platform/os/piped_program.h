// A long-lived helper program that a server drives over pipes rather than a socket (a
// browser's debugging pipe): started as a worker (its own process group, killed with its
// parent, watched through a process descriptor) with chosen descriptors of the parent as its
// descriptors 3, 4, ..., optionally as an unprivileged user, and measured by the memory of its
// whole process group. Also the pipes and the private temporary folder such a program needs.
// Linux only. The handles returned are the caller's; each call is safe from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os/folder_files.h"
#include "platform/os/worker_process.h"

namespace os {

// A user and group to run a program as.
struct UserIdentity {
  unsigned userId = 0;
  unsigned groupId = 0;
};

// The account `name` ("nobody"), or nullopt where the system has none.
std::optional<UserIdentity> FindUser(const std::string& name);

// Makes a pipe whose two ends are closed on exec. Returns "" or why it could not.
std::string MakePipe(FileHandle& readEnd, FileHandle& writeEnd);

// Reads what is there of `file`, at most `size` bytes, waiting for some: the count, 0 at its
// end, -1 on failure.
long ReadSome(const FileHandle& file, char* buffer, std::size_t size);

// Writes all of `bytes` to `file`. Returns "" or why it could not.
std::string WriteAll(const FileHandle& file, std::string_view bytes);

// An unnamed file in memory holding `bytes`, to be read from its start (handed to another
// process like any open file); invalid when it cannot be made.
FileHandle FileOfBytes(std::string_view bytes);

// The file `path` made empty (created, mode 0600, where missing) for a program's standard
// error; invalid when it cannot be opened.
FileHandle OpenLogFile(const std::string& path);

// Starts `program` with `arguments`: `descriptors[i]` of this process becomes its descriptor
// 3 + i and every other descriptor above 2 is closed; its standard input is /dev/null and its
// standard output and error go to `errorOutput` (/dev/null when negative). With `user`, it
// runs as that user and group with no supplementary groups; `withoutNetwork` puts it in a
// network namespace of its own first (with a user namespace mapping only its own user where
// this process is not root), so that it reaches no network, not even this machine's
// listeners (it ends with 125 where the system refuses). Safe from a process with several
// threads: nothing between the fork and the exec allocates. It is killed when the thread that
// started it ends (the death signal of a worker). Returns an empty object and sets
// `error` when it could not be started (an exec that fails ends the worker with 127). From
// the first start on, a write to a pipe whose reader has gone fails instead of ending this
// process.
WorkerProcess StartPipedProgram(const std::string& program,
                                const std::vector<std::string>& arguments,
                                const std::vector<int>& descriptors,
                                std::optional<UserIdentity> user, bool withoutNetwork,
                                int errorOutput, std::string& error);

// The resident memory, in bytes, of every process in the process group `group` (a worker's
// id is its group's), as /proc tells it; 0 when none is found.
std::uint64_t GroupResidentBytes(int group);

// Makes a new folder "PREFIX" + six random characters (mode 0700) and gives it to `user`
// where given. Returns its path, or "" and sets `error`.
std::string MakeTemporaryFolder(const std::string& prefix, std::optional<UserIdentity> user,
                                std::string& error);

}  // namespace os
