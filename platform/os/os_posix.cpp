// POSIX implementation of the OS seam.
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <stdexcept>

#include "platform/os/os.h"

namespace os {

HostNameCalls NativeHostNameCalls() {
  return HostNameCalls{
      [](std::uint16_t) { return 0; },
      [](char* buffer, int size) {
        return ::gethostname(buffer, static_cast<std::size_t>(size)) == 0 ? 0 : -1;
      },
      [] {},
  };
}

std::uint32_t CurrentThreadId() {
  return static_cast<std::uint32_t>(::gettid());
}

std::uint32_t ProcessId() {
  return static_cast<std::uint32_t>(::getpid());
}

std::int64_t SecondsSince1970() {
  return static_cast<std::int64_t>(std::time(nullptr));
}

std::optional<std::string> GetEnv(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr)
    return std::nullopt;
  return std::string(value);
}

void SetEnv(const char* name, const std::string& value) {
  if (::setenv(name, value.c_str(), 1) != 0)
    throw std::runtime_error(std::string("cannot set environment variable ") + name + ": " +
                             ErrorText(errno));
}

void UnsetEnv(const char* name) {
  if (::unsetenv(name) != 0)
    throw std::runtime_error(std::string("cannot unset environment variable ") + name + ": " +
                             ErrorText(errno));
}

bool RemoveFile(const std::string& path) {
  return std::remove(path.c_str()) == 0;
}

NewFile CreateNewFile(const std::string& path) {
  NewFile made;
  int descriptor =
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
  if (descriptor == -1) {
    // With O_EXCL the kernel answers EEXIST for a link at the name, dangling or not.
    if (errno == EEXIST)
      made.exists = true;
    else
      made.error = "cannot create " + path + ": " + ErrorText(errno);
    return made;
  }
  made.file = ::fdopen(descriptor, "w");
  if (made.file == nullptr) {
    made.error = "cannot create " + path + ": " + ErrorText(errno);
    ::close(descriptor);
    ::unlink(path.c_str());
  }
  return made;
}

std::string RenameOver(const std::string& from, const std::string& to) {
  if (std::rename(from.c_str(), to.c_str()) == 0)
    return "";
  return "cannot replace " + to + " with " + from + ": " + ErrorText(errno);
}

char PathSeparator() {
  return '/';
}

CommandDialect NativeCommandDialect() {
  return CommandDialect::kPosix;
}

std::vector<int> StopSignals() {
  return {SIGINT, SIGTERM};
}

bool SetNoInherit(std::intptr_t nativeHandle) {
  int fd = static_cast<int>(nativeHandle);
  int flags = ::fcntl(fd, F_GETFD);
  return flags != -1 && ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC) != -1;
}

bool SetExclusiveAddress(std::intptr_t) {
  return true;
}

std::optional<std::uint16_t> LookupSystemServicePort(const char* name) {
  // getservbyname returns a static buffer.
  static std::mutex mutex;
  std::lock_guard<std::mutex> lock(mutex);
  const servent* entry = ::getservbyname(name, "tcp");
  if (entry == nullptr)
    return std::nullopt;
  return static_cast<std::uint16_t>(ntohs(static_cast<std::uint16_t>(entry->s_port)));
}

std::FILE* OpenForAppend(const std::string& path) {
  return std::fopen(path.c_str(), "ae");  // 'e': O_CLOEXEC
}

std::uint64_t RaiseDescriptorLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
    return 0;
  if (limit.rlim_cur != limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    if (::setrlimit(RLIMIT_NOFILE, &raised) == 0)
      limit = raised;
  }
  return static_cast<std::uint64_t>(limit.rlim_cur);
}

void WriteSystemLog(const std::string& line) {
  ::syslog(LOG_USER | LOG_DEBUG, "%s", line.c_str());
}

std::string ProgramName() {
  char path[4096];
  ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0)
    return "unknown";
  std::string name(path, static_cast<std::size_t>(length));
  std::size_t slash = name.rfind('/');
  if (slash != std::string::npos)
    name.erase(0, slash + 1);
  return name;
}

std::string ErrorText(int errorNumber) {
  char buffer[256];
  // GNU strerror_r returns the text, which may or may not live in `buffer`.
  return std::string(::strerror_r(errorNumber, buffer, sizeof buffer));
}

}  // namespace os
