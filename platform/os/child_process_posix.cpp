#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <stdexcept>

#include "platform/os/child_process.h"
#include "platform/os/child_wait_posix.h"
#include "platform/os/os.h"

extern char** environ;

namespace os {

namespace {

std::vector<std::string> MergedEnvironment(
    const std::vector<std::pair<std::string, std::string>>& overrides) {
  std::vector<std::string> merged;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    std::string text(*entry);
    std::string name = text.substr(0, text.find('='));
    bool replaced = false;
    for (const auto& [key, value] : overrides)
      replaced = replaced || key == name;
    if (!replaced)
      merged.push_back(text);
  }
  for (const auto& [key, value] : overrides)
    merged.push_back(key + "=" + value);
  return merged;
}

}  // namespace

ChildProcess ChildProcess::Start(const std::string& program, const Options& options) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const char* out = options.stdoutPath.empty() ? "/dev/null" : options.stdoutPath.c_str();
  const char* err = options.stderrPath.empty() ? "/dev/null" : options.stderrPath.c_str();
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err, O_WRONLY | O_CREAT | O_TRUNC, 0644);

  std::vector<std::string> arguments{program};
  arguments.insert(arguments.end(), options.arguments.begin(), options.arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : arguments)
    argv.push_back(argument.data());
  argv.push_back(nullptr);
  std::vector<std::string> environment = MergedEnvironment(options.environment);
  std::vector<char*> envp;
  for (std::string& entry : environment)
    envp.push_back(entry.data());
  envp.push_back(nullptr);

  pid_t pid = 0;
  int error = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0)
    throw std::runtime_error("cannot start " + program + ": " + ErrorText(error));
  ChildProcess child;
  child.handle_ = pid;
  child.id_ = static_cast<std::uint32_t>(pid);
  return child;
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : handle_(other.handle_), id_(other.id_), exitCode_(other.exitCode_) {
  other.handle_ = -1;
}

ChildProcess::~ChildProcess() {
  if (handle_ == -1 || exitCode_)
    return;
  Kill();
  WaitFor(std::chrono::seconds(10));
}

std::optional<int> ChildProcess::WaitFor(std::chrono::milliseconds timeout) {
  if (exitCode_ || handle_ == -1)
    return exitCode_;
  pid_t pid = static_cast<pid_t>(handle_);
  if (!AwaitChildEnd(pid, std::max(timeout, std::chrono::milliseconds(0))))
    return std::nullopt;
  int status = 0;
  pid_t done = 0;
  while ((done = ::waitpid(pid, &status, 0)) == -1 && errno == EINTR) {
  }
  if (done != pid)
    return std::nullopt;
  exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return exitCode_;
}

void ChildProcess::Terminate() {
  if (handle_ != -1 && !exitCode_)
    ::kill(static_cast<pid_t>(handle_), SIGTERM);
}

void ChildProcess::Interrupt() {
  if (handle_ != -1 && !exitCode_)
    ::kill(static_cast<pid_t>(handle_), SIGINT);
}

void ChildProcess::Kill() {
  if (handle_ != -1 && !exitCode_)
    ::kill(static_cast<pid_t>(handle_), SIGKILL);
}

std::uint32_t ChildProcess::Id() const {
  return id_;
}

bool ChildProcess::IsRunning(std::uint32_t id) {
  if (::kill(static_cast<pid_t>(id), 0) != 0 && errno == ESRCH)
    return false;
  // An ended process whose parent has not reaped it yet still answers kill; its state in
  // /proc tells.
  std::FILE* stat = std::fopen(("/proc/" + std::to_string(id) + "/stat").c_str(), "r");
  if (stat == nullptr)
    return true;
  char line[512] = {};
  std::size_t count = std::fread(line, 1, sizeof line - 1, stat);
  std::fclose(stat);
  std::string text(line, count);
  std::size_t close = text.rfind(')');
  return close == std::string::npos || close + 2 >= text.size() || text[close + 2] != 'Z';
}

}  // namespace os
