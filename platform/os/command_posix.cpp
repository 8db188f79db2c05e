// POSIX implementation of running command lines in process trees the server can end.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/os/child_wait_posix.h"
#include "platform/os/os.h"
#include "platform/os/running_trees.h"
#include "platform/os/spawn_group_leader_posix.h"

extern char** environ;

namespace os {

namespace {

void EndGroup(pid_t group) {
  ::kill(-group, SIGKILL);
}

// The command line that sets the memory limit before it runs `line`: the shell's own
// `ulimit -v` (KiB; soft and hard together when neither -S nor -H is given, in dash as in
// bash) as its first command, on the same line so that the shell's messages about `line`
// name the same line numbers as without a limit. The shell reads and runs that command before
// any of `line`, and setrlimit(2) keeps the limit across fork and execve, so the processor
// and everything it starts run under it and none can raise it. The limit is lowered to this
// process's own hard limit when that is smaller: an unprivileged process cannot raise it, and
// the shell would refuse. Should the shell refuse anyway, it exits with 126 (a command it
// could not run) without running `line`. `line` itself unchanged when there is no limit.
std::string WithMemoryLimit(const std::string& line, std::uint64_t memoryLimitMiB) {
  if (memoryLimitMiB == 0)
    return line;
  constexpr std::uint64_t kMostKiB = ~std::uint64_t{0} >> 10;
  std::uint64_t kib = memoryLimitMiB <= (kMostKiB >> 10) ? memoryLimitMiB << 10 : kMostKiB;
  rlimit own{};
  if (::getrlimit(RLIMIT_AS, &own) == 0 && own.rlim_max != RLIM_INFINITY)
    kib = std::min<std::uint64_t>(kib, own.rlim_max >> 10);
  return "ulimit -v " + std::to_string(kib) + " || exit 126; " + line;
}

}  // namespace

// A CommandTrees set's process groups. An entry leaves before its leader is reaped, so a
// group id here is never a reused one.
class CommandTrees::Runs : public RunningTrees<pid_t, &EndGroup> {};

CommandTrees::CommandTrees() : runs_(std::make_unique<Runs>()) {}
CommandTrees::~CommandTrees() = default;

int CommandTrees::EndAll() {
  return runs_->EndAll();
}

CommandResult RunCommandTree(const std::string& line, std::chrono::milliseconds timeLimit,
                             std::uint64_t memoryLimitMiB) {
  char shell[] = "/bin/sh";
  char option[] = "-c";
  std::string command = WithMemoryLimit(line, memoryLimitMiB);
  char* argv[] = {shell, option, command.data(), nullptr};
  CommandTrees::Runs& trees = CommandTrees::Current().Record();
  auto started = std::chrono::steady_clock::now();
  pid_t child = 0;
  CommandResult result;
  // What system() does, without what makes it unfit for a server: system() ignores SIGINT
  // and SIGQUIT in the whole process while the command runs, so a stop signal arriving then
  // would be lost. The child gets default signal handling, an empty signal mask, a process
  // group of its own and no descriptor of the server but the standard three (no socket, log
  // or other job file).
  CommandTrees::Runs::Entry tree = trees.Add();
  result.failure = SpawnGroupLeader(shell, argv, environ, child);
  if (!result.failure.empty()) {
    trees.Remove(tree);
    return result;
  }
  trees.Started(tree, child);

  bool timedOut = false;
  if (!AwaitChildEnd(child, timeLimit.count() > 0 ? std::optional(timeLimit) : std::nullopt)) {
    timedOut = true;
    // The leader is not reaped yet, so its group id is still its own.
    ::kill(-child, SIGKILL);
    AwaitChildEnd(child, std::nullopt);
  }
  bool stopped = trees.Remove(tree);
  // The group is still there while its other members live: end them too when the tree was
  // ended, so no grandchild outlives its ended processor.
  if (timedOut || stopped)
    ::kill(-child, SIGKILL);

  int status = 0;
  while (::waitpid(child, &status, 0) == -1) {
    if (errno != EINTR)
      return result;
  }
  result.seconds = ElapsedSeconds(started);
  if (timedOut)
    result.ended = CommandResult::Ended::kTimeLimit;
  else if (stopped)
    result.ended = CommandResult::Ended::kStopped;
  if (WIFEXITED(status)) {
    // The shell's 127 means it could not run the command at all, but that is also a
    // legitimate exit code, so it is passed on as it is.
    result.status = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.status = 128 + WTERMSIG(status);
  }
  return result;
}

}  // namespace os
