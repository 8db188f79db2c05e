#include "platform/os/spawn_group_leader_posix.h"

#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>

// The C library's own name for clone. ThreadSanitizer intercepts clone and treats every call
// as a fork, which a child sharing the parent's memory is not; this name it leaves alone.
extern "C" int __clone(int (*function)(void*), void* stack, int flags, void* argument, ...);

namespace os {
namespace {

// The signals the kernel knows (1 to 64) as one bit each: what rt_sigprocmask and
// rt_sigaction take, whatever size the C library gives sigset_t.
using KernelSignalSet = unsigned long;
constexpr int kKernelSignals = 64;

// The kernel's struct sigaction (x86-64 and AArch64 lay it out alike).
struct KernelSignalAction {
  void (*handler)(int);
  unsigned long flags;
  void (*restorer)();
  KernelSignalSet mask;
};

// The kernel's struct rlimit64.
struct KernelLimit {
  std::uint64_t current;
  std::uint64_t maximum;
};

// What the child needs, all prepared by the parent. The child reads it and writes only
// `error`, which the parent reads once the clone has returned.
struct ChildPlan {
  const char* path;
  char* const* argv;
  char* const* envp;
  bool limitAddressSpace;
  KernelLimit addressSpace;
  int descriptorLimit;  // for closing one by one where close_range is missing
  int error;
};

// Ends the child after a failed step, leaving the step's error number for the parent.
[[noreturn]] __attribute__((no_sanitize("address", "thread", "undefined"))) void GiveUp(
    ChildPlan* plan) {
  plan->error = errno != 0 ? errno : ECHILD;
  for (;;)
    ::syscall(SYS_exit_group, 127);
}

// The child, on a stack of its own, in the parent's memory until execve succeeds: raw system
// calls only, as the C library's wrappers (and a sanitizer's interceptors of them) may touch
// state the parent's threads share. Not instrumented, for the same reason.
__attribute__((no_sanitize("address", "thread", "undefined"))) int ChildMain(void* argument) {
  ChildPlan* plan = static_cast<ChildPlan*>(argument);
  // Every signal blocked since before the clone, so no handler of the server can run here;
  // each now gets its default action (a handler would not survive execve, but an ignored
  // signal would stay ignored), and only then is the mask emptied.
  KernelSignalAction defaults{};
  for (int signal = 1; signal <= kKernelSignals; ++signal) {
    if (signal != SIGKILL && signal != SIGSTOP)
      ::syscall(SYS_rt_sigaction, signal, &defaults, nullptr, sizeof(KernelSignalSet));
  }
  if (::syscall(SYS_setpgid, 0, 0) != 0)
    GiveUp(plan);
  if (plan->limitAddressSpace &&
      ::syscall(SYS_prlimit64, 0, RLIMIT_AS, &plan->addressSpace, nullptr) != 0)
    GiveUp(plan);
  if (::syscall(SYS_close_range, 3u, ~0u, 0u) != 0) {
    // Kernels before 5.9.
    for (int descriptor = 3; descriptor < plan->descriptorLimit; ++descriptor)
      ::syscall(SYS_close, descriptor);
  }
  KernelSignalSet none = 0;
  ::syscall(SYS_rt_sigprocmask, SIG_SETMASK, &none, nullptr, sizeof none);
  ::syscall(SYS_execve, plan->path, plan->argv, plan->envp);
  GiveUp(plan);
}

// The child's stack: made once, used by one child at a time (the parent thread waits until
// its child has called execve, and the mutex keeps other threads out meanwhile). A guard
// page below it turns an overflow into a fault instead of a write into other memory.
class ChildStack {
 public:
  static constexpr std::size_t kBytes = 64 * 1024;

  // The stack's top, or null (with errno set) when it cannot be made.
  char* Top() {
    if (base_ == nullptr) {
      long page = ::sysconf(_SC_PAGESIZE);
      std::size_t guard = page > 0 ? static_cast<std::size_t>(page) : 4096;
      void* memory = ::mmap(nullptr, guard + kBytes, PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
      if (memory == MAP_FAILED)
        return nullptr;
      if (::mprotect(memory, guard, PROT_NONE) != 0) {
        int error = errno;
        ::munmap(memory, guard + kBytes);
        errno = error;
        return nullptr;
      }
      base_ = static_cast<char*>(memory) + guard;
    }
    return base_ + kBytes;
  }

  std::mutex& Mutex() { return mutex_; }

 private:
  std::mutex mutex_;
  char* base_ = nullptr;  // guarded by mutex_; never freed
};

}  // namespace

int SpawnGroupLeader(const char* path, char* const argv[], char* const envp[],
                     std::uint64_t addressSpaceBytes, pid_t& child) {
  ChildPlan plan{path, argv, envp, false, {}, 0, 0};
  if (addressSpaceBytes > 0) {
    // An unprivileged process cannot raise its hard limit; the child's is never above ours.
    rlimit current{};
    std::uint64_t ceiling = RLIM_INFINITY;
    if (::getrlimit(RLIMIT_AS, &current) == 0)
      ceiling = current.rlim_max;
    std::uint64_t limit = std::min<std::uint64_t>(addressSpaceBytes, ceiling);
    plan.limitAddressSpace = true;
    plan.addressSpace = {limit, limit};
  }
  rlimit descriptors{};
  plan.descriptorLimit = 1 << 20;
  if (::getrlimit(RLIMIT_NOFILE, &descriptors) == 0 && descriptors.rlim_cur < (1u << 20))
    plan.descriptorLimit = static_cast<int>(descriptors.rlim_cur);

  static ChildStack stack;
  std::lock_guard<std::mutex> lock(stack.Mutex());
  char* top = stack.Top();
  if (top == nullptr)
    return errno;
  // Every signal, the C library's own included, until the child has left this memory.
  KernelSignalSet all = ~KernelSignalSet{0};
  KernelSignalSet previous = 0;
  ::syscall(SYS_rt_sigprocmask, SIG_SETMASK, &all, &previous, sizeof all);
  pid_t pid = ::__clone(ChildMain, top, CLONE_VM | CLONE_VFORK | SIGCHLD, &plan);
  int cloneError = errno;
  ::syscall(SYS_rt_sigprocmask, SIG_SETMASK, &previous, nullptr, sizeof previous);
  if (pid == -1)
    return cloneError;
  if (plan.error != 0) {
    int status = 0;
    while (::waitpid(pid, &status, 0) == -1 && errno == EINTR) {
    }
    return plan.error;
  }
  child = pid;
  return 0;
}

}  // namespace os
