#include "platform/os/child_wait_posix.h"

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

namespace os {

namespace {

// Whether the child has ended, without reaping it. An error (no such child) counts as ended:
// there is nothing left to wait for.
bool HasEnded(pid_t child) {
  for (;;) {
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT | WNOHANG) == 0)
      return info.si_pid != 0;  // si_pid stays 0 while the child runs
    if (errno != EINTR)
      return true;
  }
}

// Closes a process descriptor when the wait ends.
struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0)
      ::close(fd);
  }
};

// How long one step of the wait may take. A poll on the process descriptor ends when the
// child does; the bound only caps what a missed wake-up could cost. Without a descriptor
// (kernels before 5.3) or when poll fails, the child is looked at every kSleepStep.
constexpr std::chrono::milliseconds kPollStep{1000};
constexpr std::chrono::milliseconds kSleepStep{5};

}  // namespace

bool AwaitChildEnd(pid_t child, std::optional<std::chrono::milliseconds> timeout) {
  if (!timeout) {
    // No deadline: the kernel wakes this thread when the child ends.
    siginfo_t info;
    while (::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT) == -1) {
      if (errno != EINTR)
        return true;
    }
    return true;
  }
  auto deadline = std::chrono::steady_clock::now() + *timeout;
  if (HasEnded(child))
    return true;
    // A process descriptor becomes readable the moment the process ends, so the wait ends then
    // rather than at the next step of a polling loop. (glibc 2.36 declares pidfd_open without C
    // linkage, so the system call is made directly.)
#ifdef SYS_pidfd_open
  Descriptor process{static_cast<int>(::syscall(SYS_pidfd_open, child, 0))};
#else
  Descriptor process{-1};
#endif
  for (;;) {
    auto now = std::chrono::steady_clock::now();
    if (now >= deadline)
      return false;
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
    bool waited = false;
    if (process.fd >= 0) {
      pollfd ready{process.fd, POLLIN, 0};
      waited = ::poll(&ready, 1, static_cast<int>(std::min(left, kPollStep).count())) >= 0 ||
               errno == EINTR;
    }
    if (!waited)
      std::this_thread::sleep_for(std::min(left, kSleepStep));
    if (HasEnded(child))
      return true;
  }
}

}  // namespace os
