// Starting the running program again in place of its process with one more environment
// variable, for settings that a library reads from the environment while it is loaded,
// before main runs (OpenMP's thread limit). Linux only: the program is found through
// /proc/self/exe, so it is the same file whatever its path says now.
#pragma once

#include <string>

namespace os {

// Replaces the process with this program run with the same `argv` (argv[0] included) and
// `name`=`value` added to its environment. Returns only when that fails, with the error
// number; the process then goes on as it was.
int ExecuteSelfWith(char** argv, const char* name, const std::string& value);

}  // namespace os
