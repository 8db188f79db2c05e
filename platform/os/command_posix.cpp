// POSIX implementation of running command lines in process trees the server can end.
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <mutex>
#include <thread>

#include "platform/os/os.h"
#include "platform/os/spawn_group_leader_posix.h"

extern char** environ;

namespace os {
namespace {

// The process groups RunCommandTree is running, each with whether EndCommandTrees ended it.
// An entry leaves before its leader is reaped, so a group id here is never a reused one.
class RunningTrees {
 public:
  static RunningTrees& Instance() {
    static RunningTrees trees;
    return trees;
  }

  // Starts `argv` as the leader of a new process group and records the group, under the
  // lock, so that EndAll never misses a tree that has started. Returns the error number.
  int Spawn(pid_t& child, char* const argv[], std::uint64_t memoryLimitBytes) {
    // What system() does, without what makes it unfit for a server: system() ignores SIGINT
    // and SIGQUIT in the whole process while the command runs, so a stop signal arriving then
    // would be lost. The child gets default signal handling, an empty signal mask, a process
    // group of its own, no descriptor of the server but the standard three (no socket, log or
    // other job file) and the memory limit.
    std::lock_guard<std::mutex> lock(mutex_);
    int error = SpawnGroupLeader(argv[0], argv, environ, memoryLimitBytes, child);
    if (error == 0)
      trees_[child] = false;
    return error;
  }

  // Ends the tree of `group` because its time passed, unless EndAll got there first.
  void EndOne(pid_t group) {
    std::lock_guard<std::mutex> lock(mutex_);
    ::kill(-group, SIGKILL);
  }

  // Forgets `group`; true when EndAll ended it.
  bool Remove(pid_t group) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto entry = trees_.find(group);
    bool ended = entry != trees_.end() && entry->second;
    if (entry != trees_.end())
      trees_.erase(entry);
    return ended;
  }

  int EndAll() {
    std::lock_guard<std::mutex> lock(mutex_);
    int count = 0;
    for (auto& [group, ended] : trees_) {
      if (!ended) {
        ::kill(-group, SIGKILL);
        ended = true;
        ++count;
      }
    }
    return count;
  }

 private:
  std::mutex mutex_;
  std::map<pid_t, bool> trees_;  // guarded by mutex_
};

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
  RunningTrees& trees = RunningTrees::Instance();
  auto started = std::chrono::steady_clock::now();
  pid_t child = 0;
  CommandResult result;
  constexpr std::uint64_t kMostBytes = ~std::uint64_t{0};
  std::uint64_t memoryLimitBytes =
      memoryLimitMiB <= (kMostBytes >> 20) ? memoryLimitMiB << 20 : kMostBytes;
  if (trees.Spawn(child, argv, memoryLimitBytes) != 0)
    return result;

  bool timedOut = false;
  if (!AwaitEnd(child, timeLimit.count() > 0 ? timeLimit : std::chrono::milliseconds(-1))) {
    timedOut = true;
    trees.EndOne(child);
    AwaitEnd(child, std::chrono::milliseconds(-1));
  }
  bool stopped = trees.Remove(child);
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

int EndCommandTrees() {
  return RunningTrees::Instance().EndAll();
}

}  // namespace os
