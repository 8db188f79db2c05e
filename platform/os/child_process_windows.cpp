#include <windows.h>

#include <cstring>
#include <stdexcept>

#include "platform/os/child_process.h"

namespace os {

namespace {

// Quotes one argument the way the C runtime splits command lines back.
std::string Quoted(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos)
    return argument;
  std::string out = "\"";
  std::size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"')
      backslashes = backslashes * 2 + 1;
    out.append(backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');
  return out + "\"";
}

std::string EnvironmentBlock(const std::vector<std::pair<std::string, std::string>>& overrides) {
  std::string block;
  char* strings = ::GetEnvironmentStringsA();
  for (const char* entry = strings; *entry != '\0'; entry += std::strlen(entry) + 1) {
    std::string text(entry);
    std::string name = text.substr(0, text.find('=', 1));
    bool replaced = false;
    for (const auto& [key, value] : overrides)
      replaced = replaced || ::_stricmp(key.c_str(), name.c_str()) == 0;
    if (!replaced)
      block.append(text).push_back('\0');
  }
  ::FreeEnvironmentStringsA(strings);
  for (const auto& [key, value] : overrides)
    block.append(key + "=" + value).push_back('\0');
  block.push_back('\0');
  return block;
}

HANDLE OpenOutput(const std::string& path) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return ::CreateFileA(path.empty() ? "NUL" : path.c_str(), GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

ChildProcess ChildProcess::Start(const std::string& program, const Options& options) {
  std::string commandLine = Quoted(program);
  for (const std::string& argument : options.arguments)
    commandLine += " " + Quoted(argument);
  std::string environment = EnvironmentBlock(options.environment);

  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE input = ::CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  HANDLE output = OpenOutput(options.stdoutPath);
  HANDLE error = OpenOutput(options.stderrPath);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = output;
  startup.hStdError = error;
  PROCESS_INFORMATION process{};
  BOOL started = ::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0,
                                  environment.data(), nullptr, &startup, &process);
  DWORD failure = ::GetLastError();
  for (HANDLE handle : {input, output, error}) {
    if (handle != INVALID_HANDLE_VALUE)
      ::CloseHandle(handle);
  }
  if (!started)
    throw std::runtime_error("cannot start " + program + ": error " + std::to_string(failure));
  ::CloseHandle(process.hThread);
  ChildProcess child;
  child.handle_ = reinterpret_cast<std::intptr_t>(process.hProcess);
  child.id_ = process.dwProcessId;
  return child;
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : handle_(other.handle_), id_(other.id_), exitCode_(other.exitCode_) {
  other.handle_ = -1;
}

ChildProcess::~ChildProcess() {
  if (handle_ == -1)
    return;
  if (!exitCode_) {
    Kill();
    WaitFor(std::chrono::seconds(10));
  }
  ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

std::optional<int> ChildProcess::WaitFor(std::chrono::milliseconds timeout) {
  if (exitCode_ || handle_ == -1)
    return exitCode_;
  HANDLE process = reinterpret_cast<HANDLE>(handle_);
  if (::WaitForSingleObject(process, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
    return std::nullopt;
  DWORD code = 0;
  ::GetExitCodeProcess(process, &code);
  exitCode_ = static_cast<int>(code);
  return exitCode_;
}

void ChildProcess::Terminate() {
  Kill();
}

void ChildProcess::Interrupt() {
  Kill();
}

void ChildProcess::Kill() {
  if (handle_ != -1 && !exitCode_)
    ::TerminateProcess(reinterpret_cast<HANDLE>(handle_), 1);
}

std::uint32_t ChildProcess::Id() const {
  return id_;
}

bool ChildProcess::IsRunning(std::uint32_t id) {
  HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
  if (process == nullptr)
    return false;
  DWORD code = 0;
  bool running = ::GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
  ::CloseHandle(process);
  return running;
}

}  // namespace os
