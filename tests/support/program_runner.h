// Runs the build's own programs for process-level tests: each with the same extra
// environment, its standard output and error in files of a folder the test owns.
#pragma once

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "platform/os/child_process.h"
#include "tests/support/test_support.h"

namespace vtps_test {

// A file's text as the console wrote it, without the "\r" Windows puts before each "\n".
std::string ConsoleText(const std::string& path);

class ProgramRunner {
 public:
  struct Result {
    int exitCode = -1;  // -1 when the program did not end in time
    std::string out;
    std::string err;
  };

  // Outputs go to files in `dir`, which must outlive the runner.
  explicit ProgramRunner(const TempDir& dir) : dir_(dir) {}

  // Variables every program started from now on gets.
  std::vector<std::pair<std::string, std::string>> environment;

  // Starts `program` (relative to the build folder, see BuildProgram); its output goes to
  // `<name>.out` and `<name>.err`.
  os::ChildProcess Start(const std::string& program, std::vector<std::string> arguments,
                         const std::string& name) const;
  // Runs kqm-call with `arguments` and waits for it.
  Result Call(std::vector<std::string> arguments) const;
  // The console text of `<name>.out` / `<name>.err`.
  std::string Out(const std::string& name) const { return ConsoleText(dir_.File(name + ".out")); }
  std::string Err(const std::string& name) const { return ConsoleText(dir_.File(name + ".err")); }

 private:
  const TempDir& dir_;
};

}  // namespace vtps_test
