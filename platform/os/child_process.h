// ChildProcess starts another program with its standard output and error sent to files,
// waits for it with a deadline and stops it. Tests and tools use it to run the system's
// programs for real.
//
// The object owns the process: destroying it kills a process that is still running. Use one
// object from one thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace os {

class ChildProcess {
 public:
  struct Options {
    std::vector<std::string> arguments;  // after the program itself
    // Variables set (or replaced) in the child's environment; the rest is inherited.
    std::vector<std::pair<std::string, std::string>> environment;
    std::string stdoutPath;  // "" discards the output
    std::string stderrPath;
  };

  // Starts `program` (a path). Throws std::runtime_error naming it when it cannot start.
  static ChildProcess Start(const std::string& program, const Options& options);

  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&&) = delete;
  ~ChildProcess();

  // The exit code once the process has ended (128 + the signal when a signal ended it on
  // POSIX), or nullopt when it is still running after `timeout`.
  std::optional<int> WaitFor(std::chrono::milliseconds timeout);
  // Asks the process to end: SIGTERM on POSIX; on Windows, which has no such request from
  // outside, it is ended with exit code 1.
  void Terminate();
  // Interrupts the process: SIGINT on POSIX (what Ctrl+C sends); on Windows it is ended like
  // Terminate.
  void Interrupt();
  // Ends the process at once.
  void Kill();
  std::uint32_t Id() const;

  // Whether a process with the id `id` is running (a zombie on POSIX counts as ended).
  static bool IsRunning(std::uint32_t id);

 private:
  ChildProcess() = default;

  std::intptr_t handle_ = -1;  // pid on POSIX, process HANDLE on Windows
  std::uint32_t id_ = 0;
  std::optional<int> exitCode_;
};

}  // namespace os
