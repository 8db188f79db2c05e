// Windows implementation of the OS seam.
#include <windows.h>
#include <winsock2.h>

#include <fcntl.h>
#include <io.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <stdexcept>

#include "platform/os/os.h"
#include "platform/os/system_error_text_windows.h"

namespace os {

std::string SystemErrorText(unsigned long error) {
  char buffer[512];
  DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, buffer, sizeof buffer, nullptr);
  std::string text(buffer, length);
  while (!text.empty() &&
         (text.back() == '\n' || text.back() == '\r' || text.back() == '.' || text.back() == ' '))
    text.pop_back();
  if (text.empty())
    return "error " + std::to_string(error);
  return text;
}

HostNameCalls NativeHostNameCalls() {
  return HostNameCalls{
      [](std::uint16_t version) {
        WSADATA data;
        return ::WSAStartup(version, &data);
      },
      [](char* buffer, int size) { return ::gethostname(buffer, size) == SOCKET_ERROR ? -1 : 0; },
      [] { ::WSACleanup(); },
  };
}

std::uint32_t CurrentThreadId() {
  return static_cast<std::uint32_t>(::GetCurrentThreadId());
}

std::uint32_t ProcessId() {
  return static_cast<std::uint32_t>(::GetCurrentProcessId());
}

std::int64_t SecondsSince1970() {
  return static_cast<std::int64_t>(::_time64(nullptr));
}

std::optional<std::string> GetEnv(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr)
    return std::nullopt;
  return std::string(value);
}

void SetEnv(const char* name, const std::string& value) {
  if (::_putenv_s(name, value.c_str()) != 0)
    throw std::runtime_error(std::string("cannot set environment variable ") + name);
}

void UnsetEnv(const char* name) {
  // An empty value removes the variable from the C runtime's environment.
  if (::_putenv_s(name, "") != 0)
    throw std::runtime_error(std::string("cannot unset environment variable ") + name);
}

bool RemoveFile(const std::string& path) {
  return std::remove(path.c_str()) == 0;
}

NewFile CreateNewFile(const std::string& path) {
  NewFile made;
  // Not inheritable (no security attributes), so a processor started meanwhile for another
  // request never holds it open.
  HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    DWORD error = ::GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
      made.exists = true;
    else
      made.error = "cannot create " + path + ": " + SystemErrorText(error);
    return made;
  }
  int descriptor = ::_open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_TEXT);
  if (descriptor == -1) {
    made.error = "cannot create " + path + ": " + ErrorText(errno);
    ::CloseHandle(handle);
    ::DeleteFileA(path.c_str());
    return made;
  }
  made.file = ::_fdopen(descriptor, "wt");
  if (made.file == nullptr) {
    made.error = "cannot create " + path + ": " + ErrorText(errno);
    ::_close(descriptor);
    ::DeleteFileA(path.c_str());
  }
  return made;
}

std::string RenameOver(const std::string& from, const std::string& to) {
  if (::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING))
    return "";
  return "cannot replace " + to + " with " + from + ": " + SystemErrorText(::GetLastError());
}

char PathSeparator() {
  return '\\';
}

CommandDialect NativeCommandDialect() {
  return CommandDialect::kCmd;
}

std::vector<int> StopSignals() {
  return {SIGINT, SIGTERM, SIGBREAK};
}

bool SetNoInherit(std::intptr_t nativeHandle) {
  return ::SetHandleInformation(reinterpret_cast<HANDLE>(nativeHandle), HANDLE_FLAG_INHERIT, 0) !=
         0;
}

bool SetExclusiveAddress(std::intptr_t nativeSocket) {
  BOOL on = TRUE;
  return ::setsockopt(static_cast<SOCKET>(nativeSocket), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                      reinterpret_cast<const char*>(&on), sizeof on) == 0;
}

std::optional<std::uint16_t> LookupSystemServicePort(const char* name) {
  // getservbyname needs the sockets layer and returns a per-thread buffer; the lock keeps
  // start-up and clean-up counts simple.
  static std::mutex mutex;
  std::lock_guard<std::mutex> lock(mutex);
  WSADATA data;
  if (::WSAStartup(0x0202, &data) != 0)
    return std::nullopt;
  const servent* entry = ::getservbyname(name, "tcp");
  std::optional<std::uint16_t> port;
  if (entry != nullptr)
    port = ::ntohs(static_cast<u_short>(entry->s_port));
  ::WSACleanup();
  return port;
}

std::FILE* OpenForAppend(const std::string& path) {
  return std::fopen(path.c_str(), "abN");  // binary: lines end in \n alone; N: not inherited
}

std::uint64_t RaiseDescriptorLimit() {
  // Windows sets no per-process limit on handles of this kind.
  return 0;
}

void WriteSystemLog(const std::string& line) {
  std::string text = line + "\n";
  ::OutputDebugStringA(text.c_str());
}

std::string ProgramName() {
  char path[MAX_PATH];
  DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
  if (length == 0 || length >= sizeof path)
    return "unknown";
  std::string name(path, length);
  std::size_t slash = name.find_last_of("\\/");
  if (slash != std::string::npos)
    name.erase(0, slash + 1);
  std::size_t dot = name.rfind('.');
  if (dot != std::string::npos)
    name.erase(dot);
  return name;
}

std::string ErrorText(int errorNumber) {
  char buffer[256];
  if (::strerror_s(buffer, sizeof buffer, errorNumber) != 0)
    return "error " + std::to_string(errorNumber);
  return buffer;
}

}  // namespace os
