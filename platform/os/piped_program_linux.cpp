// Linux implementation of piped helper programs.
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/os/piped_program.h"

namespace os {
namespace {

// Writes `text` to the file `path` (a /proc file of a new user namespace); false on failure.
// Only system calls: it runs between a fork and an exec.
bool WriteProcFile(const char* path, const char* text, std::size_t size) {
  int file = ::open(path, O_WRONLY | O_CLOEXEC);
  if (file < 0)
    return false;
  bool written = ::write(file, text, size) == static_cast<ssize_t>(size);
  ::close(file);
  return written;
}

}  // namespace

std::optional<UserIdentity> FindUser(const std::string& name) {
  passwd entry{};
  passwd* found = nullptr;
  std::vector<char> buffer(16384);
  if (::getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
      found == nullptr)
    return std::nullopt;
  return UserIdentity{found->pw_uid, found->pw_gid};
}

std::string MakePipe(FileHandle& readEnd, FileHandle& writeEnd) {
  int ends[2] = {-1, -1};
  if (::pipe2(ends, O_CLOEXEC) != 0)
    return std::string("cannot make a pipe: ") + std::strerror(errno);
  readEnd = FileHandle(ends[0]);
  writeEnd = FileHandle(ends[1]);
  return "";
}

long ReadSome(const FileHandle& file, char* buffer, std::size_t size) {
  for (;;) {
    ssize_t count = ::read(file.Get(), buffer, size);
    if (count >= 0 || errno != EINTR)
      return static_cast<long>(count);
  }
}

std::string WriteAll(const FileHandle& file, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t count = ::write(file.Get(), bytes.data(), bytes.size());
    if (count < 0) {
      if (errno == EINTR)
        continue;
      return std::strerror(errno);
    }
    bytes.remove_prefix(static_cast<std::size_t>(count));
  }
  return "";
}

FileHandle FileOfBytes(std::string_view bytes) {
  FileHandle file(::memfd_create("vtps-bytes", MFD_CLOEXEC));
  if (!file.Valid() || !WriteAll(file, bytes).empty() || ::lseek(file.Get(), 0, SEEK_SET) != 0)
    return FileHandle();
  return file;
}

FileHandle OpenLogFile(const std::string& path) {
  return FileHandle(
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
}

WorkerProcess StartPipedProgram(const std::string& program,
                                const std::vector<std::string>& arguments,
                                const std::vector<int>& descriptors,
                                std::optional<UserIdentity> user, bool withoutNetwork,
                                int errorOutput, std::string& error) {
  // A write to a program that has ended must fail, not end this process.
  ::signal(SIGPIPE, SIG_IGN);
  // Everything the child uses is made here, before the fork.
  std::vector<std::string> words{program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words)
    argv.push_back(word.data());
  argv.push_back(nullptr);
  const char* path = program.c_str();
  const int count = static_cast<int>(descriptors.size());
  const int* sources = descriptors.data();
  const bool root = ::geteuid() == 0;
  // Where this process is not root, the new user namespace maps its own user and group only.
  const std::string userMap =
      std::to_string(::geteuid()) + " " + std::to_string(::geteuid()) + " 1";
  const std::string groupMap =
      std::to_string(::getegid()) + " " + std::to_string(::getegid()) + " 1";
  const pid_t parent = ::getpid();
  return WorkerProcess::Fork(
      [&] {
        int null = ::open("/dev/null", O_RDWR);
        if (null < 0)
          return 127;
        int output = errorOutput >= 0 ? errorOutput : null;
        if (::dup2(null, 0) < 0 || ::dup2(output, 1) < 0 || ::dup2(output, 2) < 0)
          return 127;
        // Copies above every target first, so that placing them at 3, 4, ... never overwrites
        // one still to be placed.
        int staged[16];
        if (count > 16)
          return 127;
        for (int i = 0; i < count; ++i) {
          staged[i] = ::fcntl(sources[i], F_DUPFD_CLOEXEC, 3 + count);
          if (staged[i] < 0)
            return 127;
        }
        for (int i = 0; i < count; ++i) {
          if (::dup2(staged[i], 3 + i) < 0)
            return 127;
        }
        if (::syscall(SYS_close_range, static_cast<unsigned>(3 + count), ~0U, 0U) != 0) {
          for (int descriptor = 3 + count; descriptor < 65536; ++descriptor)
            ::close(descriptor);
        }
        if (withoutNetwork) {
          if (root) {
            if (::unshare(CLONE_NEWNET) != 0)
              return 125;
          } else if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0 ||
                     !WriteProcFile("/proc/self/setgroups", "deny", 4) ||
                     !WriteProcFile("/proc/self/uid_map", userMap.data(), userMap.size()) ||
                     !WriteProcFile("/proc/self/gid_map", groupMap.data(), groupMap.size())) {
            return 125;
          }
        }
        if (user) {
          if (::setgroups(0, nullptr) != 0 || ::setgid(user->groupId) != 0 ||
              ::setuid(user->userId) != 0)
            return 126;
          // A change of user clears the death signal: it is asked for again.
          ::prctl(PR_SET_PDEATHSIG, SIGKILL);
          if (::getppid() != parent)
            return 126;
        }
        ::execv(path, argv.data());
        return 127;
      },
      error);
}

std::uint64_t GroupResidentBytes(int group) {
  DIR* processes = ::opendir("/proc");
  if (processes == nullptr)
    return 0;
  const std::uint64_t pageBytes = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
  std::uint64_t total = 0;
  while (dirent* entry = ::readdir(processes)) {
    char* end = nullptr;
    long id = std::strtol(entry->d_name, &end, 10);
    if (id <= 0 || *end != '\0')
      continue;
    std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
    std::string line;
    if (!std::getline(stat, line))
      continue;
    // The command's name, in parentheses, may hold spaces; the fields after it are plain.
    std::size_t close = line.rfind(')');
    if (close == std::string::npos)
      continue;
    std::istringstream fields(line.substr(close + 1));
    std::string state;
    long parent = 0, processGroup = 0;
    fields >> state >> parent >> processGroup;
    if (processGroup != group)
      continue;
    std::ifstream statm(std::string("/proc/") + entry->d_name + "/statm");
    std::uint64_t size = 0, resident = 0;
    if (statm >> size >> resident)
      total += resident * pageBytes;
  }
  ::closedir(processes);
  return total;
}

std::string MakeTemporaryFolder(const std::string& prefix, std::optional<UserIdentity> user,
                                std::string& error) {
  std::string pattern = prefix + "XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    error = "cannot make a folder " + pattern + ": " + std::strerror(errno);
    return "";
  }
  if (user && ::chown(pattern.c_str(), user->userId, user->groupId) != 0) {
    error = "cannot give " + pattern + " to user " + std::to_string(user->userId) + ": " +
            std::strerror(errno);
    ::rmdir(pattern.c_str());
    return "";
  }
  return pattern;
}

}  // namespace os
