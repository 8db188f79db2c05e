// without-openat2 PROGRAM [ARGUMENTS...]: runs PROGRAM as on a kernel older than Linux 5.6,
// where the openat2 system call does not exist (it fails with ENOSYS), so that tests can see
// what the programs do there. A seccomp filter installed before the exec holds for PROGRAM
// and everything it starts.
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: without-openat2 PROGRAM [ARGUMENTS...]\n");
    return 2;
  }
  sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_openat2, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (ENOSYS & SECCOMP_RET_DATA)),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  sock_fprog program{static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
  if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
      ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
    std::perror("without-openat2: cannot install the filter");
    return 2;
  }
  ::execv(argv[1], argv + 1);
  std::perror("without-openat2: cannot start the program");
  return 2;
}
