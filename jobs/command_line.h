// The command line that runs a processor program on a job file, in the command
// interpreter's own dialect. Pure functions, so that both dialects are tested everywhere.
//
//   cmd:   [X: & ]cd <dir> & <dir><program> -r -i <job>
//   POSIX: cd <dir> ; <dir><program> -r -i <job>
//
// where <dir> is the program base directory followed by the program directory. Nothing is
// quoted or escaped: the pieces come from the configuration, which is trusted, and
// processors rely on the exact text. In both dialects the program runs whatever cd returned.
#pragma once

#include <optional>
#include <string>

#include "platform/os/os.h"

// The program base directory: `value` (the environment variable's value) followed by one
// separator of the dialect ('\' for cmd, '/' for POSIX), used unchanged otherwise; "" when
// the value is missing or empty.
std::string ProgramBaseDirectory(const std::optional<std::string>& value,
                                 os::CommandDialect dialect);

// "X: & " when `base` has more than one character, starts with an ASCII letter and has a
// colon second; else "". The cmd dialect switches drives with it, since cd alone does not.
std::string DriveSwitch(const std::string& base);

// The whole command line.
std::string BuildCommandLine(os::CommandDialect dialect, const std::string& base,
                             const std::string& programDirectory, const std::string& program,
                             const std::string& jobFilePath);
