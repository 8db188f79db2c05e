#include "jobs/command_line.h"

namespace {

bool IsAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

std::string ProgramBaseDirectory(const std::optional<std::string>& value,
                                 os::CommandDialect dialect) {
  if (!value || value->empty())
    return "";
  return *value + (dialect == os::CommandDialect::kCmd ? '\\' : '/');
}

std::string DriveSwitch(const std::string& base) {
  if (base.size() > 1 && IsAsciiLetter(base[0]) && base[1] == ':')
    return base.substr(0, 2) + " & ";
  return "";
}

std::string BuildCommandLine(os::CommandDialect dialect, const std::string& base,
                             const std::string& programDirectory, const std::string& program,
                             const std::string& jobFilePath) {
  std::string directory = base + programDirectory;
  std::string run = directory + program + " -r -i " + jobFilePath;
  if (dialect == os::CommandDialect::kCmd)
    return DriveSwitch(base) + "cd " + directory + " & " + run;
  return "cd " + directory + " ; " + run;
}
