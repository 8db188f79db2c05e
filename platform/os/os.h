// The operating-system seam: every call the system makes into the OS goes through here.
//
// One implementation per platform (os_posix.cpp, os_windows.cpp), chosen by CMake. The
// functions hold no state of their own and are safe to call from any thread, except
// SetEnv / UnsetEnv, which change the process environment and belong to start-up and tests.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace os {

// The sockets-layer calls that reading the host name makes. On Windows they are WSAStartup,
// gethostname and WSACleanup; on POSIX there is no sockets layer to start, so `startup`
// succeeds at once and `cleanup` does nothing. Tests replace them to provoke failures.
struct HostNameCalls {
  // Starts the sockets layer for `version` (major in the low byte): 0, or an error code.
  std::function<int(std::uint16_t version)> startup;
  // Writes the host name, at most `size` bytes: 0, or -1 on failure.
  std::function<int(char* buffer, int size)> getHostName;
  std::function<void()> cleanup;
};

// The sockets layer's answer when a requested version is not supported.
inline constexpr int kVersionNotSupported = 10092;

// The platform's own calls.
HostNameCalls NativeHostNameCalls();

// Fills `buffer` (`size` bytes, at least 2) with the host name, always NUL-terminated:
// starts the sockets layer for version 2.2, asks once more for 1.1 when 2.2 is not supported,
// and writes "localhost" when the start-up or the query fails. The layer is cleaned up only
// after a successful start-up.
void ReadHostName(const HostNameCalls& calls, char* buffer, std::size_t size);

// The id the OS gives the calling thread (GetCurrentThreadId / gettid).
std::uint32_t CurrentThreadId();

// The id of this process.
std::uint32_t ProcessId();

// Seconds since 1970-01-01 00:00:00 UTC.
std::int64_t SecondsSince1970();

// The value of an environment variable, or nullopt when it is not set.
std::optional<std::string> GetEnv(const char* name);

// Sets or removes an environment variable of this process. Throws std::runtime_error naming
// the variable when the OS refuses.
void SetEnv(const char* name, const std::string& value);
void UnsetEnv(const char* name);

// How a command line's run ended.
struct CommandResult {
  // The command's exit status: its exit code, 128 + the signal number when a signal ended
  // it (POSIX), or -1 when the interpreter could not be started.
  int status = -1;
  // Why the process tree was ended before the command finished, if it was.
  enum class Ended { kNo, kTimeLimit, kStopped } ended = Ended::kNo;
  // How long the command ran, in whole seconds rounded up.
  std::int64_t seconds = 0;
  // Whether the OS reported that a process of the tree asked for more memory than the
  // memory limit allows (Windows: the job object's notification). POSIX has no such report:
  // there the allocation fails, the process usually ends with an error or a signal, and
  // this stays false.
  bool memoryLimitExceeded = false;
  // When nothing ran (status -1): the step that failed and the OS's reason, such as
  // "cannot start /bin/sh: Resource temporarily unavailable"; "" otherwise.
  std::string failure;
};

// The process trees RunCommandTree runs for one owner (a server), so that the owner can end
// its own trees and no one else's. A tree goes into the set of the CommandTreeScope on the
// thread that starts it, else into the process's own set. Thread-safe; spawning never waits
// for another spawn. A set must outlive the runs recorded in it.
class CommandTrees {
 public:
  class Runs;  // the platform's record of the running trees

  CommandTrees();
  ~CommandTrees();
  CommandTrees(const CommandTrees&) = delete;
  CommandTrees& operator=(const CommandTrees&) = delete;

  // Ends every tree of this set running or starting at this moment; their RunCommandTree
  // calls return kStopped. Returns how many trees it ended.
  int EndAll();
  // The set the calling thread's runs go into.
  static CommandTrees& Current();
  Runs& Record() { return *runs_; }

 private:
  std::unique_ptr<Runs> runs_;
};

// While it lives, the trees the calling thread starts go into `trees`. Scopes nest.
class CommandTreeScope {
 public:
  explicit CommandTreeScope(CommandTrees& trees);
  ~CommandTreeScope();
  CommandTreeScope(const CommandTreeScope&) = delete;
  CommandTreeScope& operator=(const CommandTreeScope&) = delete;

 private:
  CommandTrees* previous_;
};

// Runs `line` through the platform's command interpreter (cmd.exe / /bin/sh) in a process
// tree of its own (a process group on POSIX, a job object on Windows), recorded in
// CommandTrees::Current(), and waits for it. When `timeLimit` is positive and passes before
// the command ends, the whole tree is ended (children and grandchildren too) and the result
// says kTimeLimit; CommandTrees::EndAll ends it as well, with kStopped. A command that ends in time
// leaves whatever it started alone. When `memoryLimitMiB` is positive, every process of the tree
// started by the line may use at most that much memory: its address space on POSIX (RLIMIT_AS,
// soft and hard, set by the interpreter before any of the line runs, never above a hard limit
// the server already has), its committed memory on Windows (the job object's per-process
// limit); an allocation beyond it fails.
// The child gets default handling of every signal a program can name, an empty signal mask and no
// descriptor of the server but the standard three (POSIX), or the standard handles only (Windows).
// Returns status -1 when the interpreter, the process tree or its limit could not be set up;
// nothing runs then. Safe to call from several threads at once; each call blocks its own thread.
CommandResult RunCommandTree(const std::string& line, std::chrono::milliseconds timeLimit,
                             std::uint64_t memoryLimitMiB = 0);

// Whole seconds since `start`, rounded up.
inline std::int64_t ElapsedSeconds(std::chrono::steady_clock::time_point start) {
  auto elapsed = std::chrono::steady_clock::now() - start;
  return std::chrono::ceil<std::chrono::seconds>(elapsed).count();
}

// RunCommandTree without a time limit; only the exit status.
inline int RunCommandLine(const std::string& line) {
  return RunCommandTree(line, std::chrono::milliseconds(0)).status;
}

// Removes a file. Returns false when it could not be removed (missing, in use, no right).
bool RemoveFile(const std::string& path);

// A file CreateNewFile made, or why it made none.
struct NewFile {
  // Open for writing in text mode (a line end becomes CR LF on Windows); the caller owns it
  // and closes it with std::fclose. Null when no file was made.
  std::FILE* file = nullptr;
  // True when something already has the name: a file, a folder or a link, dangling or not.
  bool exists = false;
  // When no file was made for another reason: "cannot create <path>: <the OS's reason>".
  std::string error;
};

// Creates the file `path` only when nothing has that name yet, in one step with the check:
// O_CREAT | O_EXCL | O_NOFOLLOW with mode 0600 (read and write for the owner only) on POSIX,
// CREATE_NEW on Windows; a link at `path` is never followed. The file is not inherited by
// the processes RunCommandTree starts while it is open. Never throws; see NewFile for the
// outcomes.
NewFile CreateNewFile(const std::string& path);

// Puts the file `from` in the place of `to` in one step (rename / MoveFileEx replacing), so
// that `to` is always either the old file or the new one; a link at `to` is replaced, not
// followed. Returns "" on success, else "cannot replace <to> with <from>: <the OS's reason>"
// (both files then stay as they were). (Not called ReplaceFile: windows.h makes that name a
// macro.)
std::string RenameOver(const std::string& from, const std::string& to);

// The separator the job file path puts between folder and file name: '\' or '/'.
char PathSeparator();

// The command interpreter's language, and the platform's own.
enum class CommandDialect { kCmd, kPosix };
CommandDialect NativeCommandDialect();

// The signals that ask a server to stop: SIGINT and SIGTERM (and SIGBREAK on Windows).
std::vector<int> StopSignals();

// Keeps a socket or file handle from being inherited by the child processes that
// RunCommandLine starts, so a processor cannot keep the server's port open. Returns false
// when the OS refuses.
bool SetNoInherit(std::intptr_t nativeHandle);

// On Windows, asks that no other socket may bind the same address (SO_EXCLUSIVEADDRUSE);
// POSIX already refuses a second listener, so there it does nothing. Returns false when
// the OS refuses.
bool SetExclusiveAddress(std::intptr_t nativeSocket);

// The TCP port the system services database (/etc/services, or Windows' own) gives the
// service `name`, or nullopt when it has none.
std::optional<std::uint16_t> LookupSystemServicePort(const char* name);

// Opens `path` for appending (creating it), not inherited by child processes. Returns null
// and leaves errno set when it cannot be opened.
std::FILE* OpenForAppend(const std::string& path);

// Raises this process's soft limit on open descriptors to its hard limit, for programs that
// hold many files or connections open. Returns the limit now in force; 0 where the OS sets
// no such limit.
std::uint64_t RaiseDescriptorLimit();

// Writes one line to the system log (syslog / OutputDebugString).
void WriteSystemLog(const std::string& line);

// The running program's file name without folder and extension ("VantricProcessServer").
std::string ProgramName();

// Human-readable text for an errno value ("Permission denied").
std::string ErrorText(int errorNumber);

}  // namespace os
