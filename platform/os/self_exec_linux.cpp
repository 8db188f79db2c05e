#include "platform/os/self_exec.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace os {

int ExecuteSelfWith(char** argv, const char* name, const std::string& value) {
  if (::setenv(name, value.c_str(), 1) != 0)
    return errno;
  ::execv("/proc/self/exe", argv);
  int error = errno;
  ::unsetenv(name);
  return error;
}

}  // namespace os
