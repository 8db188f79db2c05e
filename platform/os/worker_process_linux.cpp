// Linux implementation of forked workers.
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>

#include "platform/os/worker_process.h"

namespace os {
namespace {

// Closes every descriptor above the standard three.
void CloseOtherDescriptors() {
  if (::syscall(SYS_close_range, 3U, ~0U, 0U) == 0)
    return;
  for (int descriptor = 3; descriptor < 65536; ++descriptor)
    ::close(descriptor);
}

std::atomic<bool>* stopFlag = nullptr;
int stopWriter = -1;

void SetStop(int) {
  if (stopFlag != nullptr)
    stopFlag->store(true);
  if (stopWriter >= 0) {
    char byte = 1;
    [[maybe_unused]] ssize_t written = ::write(stopWriter, &byte, 1);
  }
}

void StopSignalsMask(int how) {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  ::pthread_sigmask(how, &signals, nullptr);
}

}  // namespace

WorkerProcess::WorkerProcess(WorkerProcess&& other) noexcept
    : id_(other.id_), ended_(std::move(other.ended_)) {
  other.id_ = -1;
}

WorkerProcess& WorkerProcess::operator=(WorkerProcess&& other) noexcept {
  if (this != &other) {
    if (Running()) {
      Kill();
      Reap();
    }
    id_ = other.id_;
    ended_ = std::move(other.ended_);
    other.id_ = -1;
  }
  return *this;
}

WorkerProcess::~WorkerProcess() {
  if (Running()) {
    Kill();
    Reap();
  }
}

WorkerProcess WorkerProcess::Fork(const std::function<int()>& body, std::string& error) {
  pid_t parent = ::getpid();
  pid_t child = ::fork();
  if (child < 0) {
    error = std::string("cannot fork a worker: ") + std::strerror(errno);
    return {};
  }
  if (child == 0) {
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The parent may have ended between the fork and the line above.
    if (::getppid() != parent)
      ::_exit(70);
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    int status = 70;
    try {
      status = body();
    } catch (...) {
    }
    ::_exit(status);
  }
  // Both sides set the group, so that a kill right after the fork reaches it.
  ::setpgid(child, child);
  WorkerProcess worker;
  worker.id_ = child;
  worker.ended_ = FileHandle(static_cast<int>(::syscall(SYS_pidfd_open, child, 0)));
  if (!worker.ended_.Valid()) {
    error = std::string("cannot watch a worker: ") + std::strerror(errno);
    return {};  // the destructor of `worker` kills and reaps it
  }
  return worker;
}

void WorkerProcess::Kill() const {
  if (!Running())
    return;
  ::kill(-id_, SIGKILL);
  ::kill(id_, SIGKILL);
}

WorkerEnd WorkerProcess::Reap() {
  WorkerEnd end;
  if (!Running())
    return end;
  int status = 0;
  pid_t reaped;
  do {
    reaped = ::waitpid(id_, &status, 0);
  } while (reaped < 0 && errno == EINTR);
  // What the worker left running in its group goes with it.
  ::kill(-id_, SIGKILL);
  id_ = -1;
  ended_ = FileHandle();
  if (reaped < 0)
    return end;
  if (WIFEXITED(status))
    end.exitCode = WEXITSTATUS(status);
  else if (WIFSIGNALED(status))
    end.signal = WTERMSIG(status);
  return end;
}

std::string LeaveNetwork() {
  if (::unshare(CLONE_NEWNET) == 0)
    return "";
  if (errno != EPERM)
    return std::strerror(errno);
  if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) == 0)
    return "";
  if (errno == EPERM || errno == ENOSPC)
    return "this system does not let unprivileged processes make namespaces "
           "(kernel.unprivileged_userns_clone, user.max_user_namespaces)";
  return std::strerror(errno);
}

int LimitFileSize(std::uint64_t bytes) {
  rlimit limit{bytes, bytes};
  return ::setrlimit(RLIMIT_FSIZE, &limit) == 0 ? 0 : errno;
}

std::string StartDetached(const std::string& program, const std::vector<std::string>& arguments) {
  std::vector<std::string> words{program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words)
    argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t first = ::fork();
  if (first < 0)
    return std::string("cannot fork: ") + std::strerror(errno);
  if (first == 0) {
    ::setsid();
    if (::fork() != 0)
      ::_exit(0);
    int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
      ::dup2(null, 0);
      ::dup2(null, 1);
      ::dup2(null, 2);
    }
    CloseOtherDescriptors();
    // A daemon holds no folder of its starter's.
    if (::chdir("/") != 0)
      ::_exit(127);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  int status = 0;
  while (::waitpid(first, &status, 0) < 0 && errno == EINTR) {
  }
  return "";
}

void BlockStopSignals() {
  StopSignalsMask(SIG_BLOCK);
}

FileHandle TakeStopSignals(std::atomic<bool>& stop) {
  int ends[2] = {-1, -1};
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0)
    stopWriter = ends[1];
  stopFlag = &stop;
  struct sigaction action {};
  action.sa_handler = SetStop;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: the signal ends the thread's wait
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  StopSignalsMask(SIG_UNBLOCK);
  return FileHandle(ends[0]);
}

void LiftAddressSpaceLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_AS, &limit);
  }
}

unsigned EffectiveUserId() {
  return ::geteuid();
}

std::string ProgramFolder() {
  std::error_code error;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : self.parent_path().string();
}

}  // namespace os
