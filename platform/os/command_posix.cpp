// POSIX implementation of running command lines in process trees the server can end.
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/os/os.h"
#include "platform/os/running_trees.h"
#include "platform/os/spawn_group_leader_posix.h"

extern char** environ;

namespace os {

namespace {

void EndGroup(pid_t group) {
  ::kill(-group, SIGKILL);
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

namespace {

// Waits until `child` has ended, without reaping it, for at most `timeout` (negative: no
// limit). Returns false when the time passed first.
bool AwaitEnd(pid_t child, std::chrono::milliseconds timeout) {
  if (timeout.count() < 0) {
    siginfo_t info;
    while (::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT) == -1) {
      if (errno != EINTR)
        return true;
    }
    return true;
  }
  auto deadline = std::chrono::steady_clock::now() + timeout;
  int descriptor = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
  for (;;) {
    siginfo_t info{};
    // si_pid stays 0 while the child runs.
    if (::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT | WNOHANG) == 0 &&
        info.si_pid != 0)
      break;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      if (descriptor >= 0)
        ::close(descriptor);
      return false;
    }
    if (descriptor >= 0) {
      pollfd ready{descriptor, POLLIN, 0};
      ::poll(&ready, 1, static_cast<int>(std::min<std::int64_t>(left.count() + 1, 1 << 30)));
    } else {
      // Kernels before 5.3 have no process descriptors: look again shortly.
      std::this_thread::sleep_for(std::min(left, std::chrono::milliseconds(10)));
    }
  }
  if (descriptor >= 0)
    ::close(descriptor);
  return true;
}

}  // namespace

CommandResult RunCommandTree(const std::string& line, std::chrono::milliseconds timeLimit,
                             std::uint64_t memoryLimitMiB) {
  char shell[] = "/bin/sh";
  char option[] = "-c";
  std::string command = line;
  char* argv[] = {shell, option, command.data(), nullptr};
  CommandTrees::Runs& trees = CommandTrees::Current().Record();
  auto started = std::chrono::steady_clock::now();
  pid_t child = 0;
  CommandResult result;
  constexpr std::uint64_t kMostBytes = ~std::uint64_t{0};
  std::uint64_t memoryLimitBytes =
      memoryLimitMiB <= (kMostBytes >> 20) ? memoryLimitMiB << 20 : kMostBytes;
  // What system() does, without what makes it unfit for a server: system() ignores SIGINT
  // and SIGQUIT in the whole process while the command runs, so a stop signal arriving then
  // would be lost. The child gets default signal handling, an empty signal mask, a process
  // group of its own, no descriptor of the server but the standard three (no socket, log or
  // other job file) and the memory limit.
  CommandTrees::Runs::Entry tree = trees.Add();
  if (int error = SpawnGroupLeader(shell, argv, environ, memoryLimitBytes, child); error != 0) {
    trees.Remove(tree);
    result.failure =
        std::string("cannot start ") + shell + ": " + std::generic_category().message(error);
    return result;
  }
  trees.Started(tree, child);

  bool timedOut = false;
  if (!AwaitEnd(child, timeLimit.count() > 0 ? timeLimit : std::chrono::milliseconds(-1))) {
    timedOut = true;
    // The leader is not reaped yet, so its group id is still its own.
    ::kill(-child, SIGKILL);
    AwaitEnd(child, std::chrono::milliseconds(-1));
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
