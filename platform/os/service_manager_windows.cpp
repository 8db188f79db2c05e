// The service control manager behind the service-manager seam. RunAsService hands the
// program's body to StartServiceCtrlDispatcherW; the dispatcher calls ServiceMain on a thread
// of its own, which registers the control handler, reports the start and runs the body, while
// the main thread serves the controls. From a console the dispatcher cannot connect and the
// body runs as before.
//
// One mutex guards the service's state: the status handle and the last status reported, the
// stop handlers and the stop requests that came before any handler was set.
#include <windows.h>

#include <tlhelp32.h>

#include <cstdlib>
#include <cwchar>
#include <map>
#include <mutex>

#include "platform/os/service_manager.h"

namespace os {
namespace {

// How long a stop may take by the time a control arrives, until the server says how long
// its own stop needs.
constexpr DWORD kFirstStopWaitHintMs = 10000;
// How long the first start step may take before the program reports the next one.
constexpr DWORD kFirstStartWaitHintMs = 30000;

struct Service {
  std::mutex mutex;
  const std::function<int()>* body = nullptr;  // set by RunAsService before the dispatcher runs
  int exitCode = 0;
  std::wstring name;
  SERVICE_STATUS_HANDLE handle = nullptr;  // null unless running as a service
  SERVICE_STATUS status{};
  std::map<std::uint64_t, std::function<void()>> stopHandlers;
  std::uint64_t nextHandlerId = 1;
  int unheardStops = 0;  // stop requests that came while no handler was set
};

Service& TheService() {
  static Service service;
  return service;
}

DWORD Milliseconds(std::chrono::milliseconds time) {
  auto count = time.count();
  if (count < 0)
    return 0;
  return count > 0x7fffffff ? 0x7fffffff : static_cast<DWORD>(count);
}

std::wstring Wide(const std::string& text) {
  if (text.empty())
    return std::wstring();
  int size =
      ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
  if (size > 0) {
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                          size);
  }
  return wide;
}

// Reports `state` to the service control manager: a pending state with the next checkpoint
// and `waitHintMs`. A stop once begun is never reported as a start or as running again.
// Only with the mutex held.
void SetStateLocked(Service& service, DWORD state, DWORD waitHintMs) {
  if (service.handle == nullptr || service.status.dwCurrentState == SERVICE_STOPPED)
    return;
  DWORD current = service.status.dwCurrentState;
  if (current == SERVICE_STOP_PENDING && state != SERVICE_STOP_PENDING && state != SERVICE_STOPPED)
    return;
  bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
  service.status.dwCheckPoint =
      pending ? (state == current ? service.status.dwCheckPoint + 1 : 1) : 0;
  service.status.dwCurrentState = state;
  service.status.dwWaitHint = pending ? waitHintMs : 0;
  service.status.dwControlsAccepted =
      state == SERVICE_STOPPED
          ? 0
          : SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_PRESHUTDOWN;
  ::SetServiceStatus(service.handle, &service.status);
}

std::string Narrow(const std::wstring& text) {
  if (text.empty())
    return std::string();
  int size = ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) {
    ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), narrow.data(),
                          size, nullptr, nullptr);
  }
  return narrow;
}

// Sets the variables of the service's Environment value (REG_MULTI_SZ, "NAME=value" entries)
// in the process. Windows' service control manager gives them to the process already, Wine's
// does not; setting them again changes nothing under Windows. A missing or unreadable value
// sets nothing.
void ApplyServiceEnvironment(const std::wstring& name) {
  std::wstring keyPath = L"System\\CurrentControlSet\\Services\\" + name;
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) !=
      ERROR_SUCCESS)
    return;
  DWORD type = 0;
  DWORD size = 0;
  std::wstring data;
  if (::RegQueryValueExW(key, L"Environment", nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
      type == REG_MULTI_SZ) {
    // Two more characters, so that the list ends with its two NULs whatever was stored.
    data.assign(size / sizeof(wchar_t) + 2, L'\0');
    if (::RegQueryValueExW(key, L"Environment", nullptr, &type,
                           reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS)
      data.clear();
  }
  ::RegCloseKey(key);
  for (const wchar_t* entry = data.c_str(); *entry != L'\0'; entry += std::wcslen(entry) + 1) {
    std::wstring assignment(entry);
    std::size_t equals = assignment.find(L'=');
    if (equals == std::wstring::npos || equals == 0)
      continue;
    ::_putenv_s(Narrow(assignment.substr(0, equals)).c_str(),
                Narrow(assignment.substr(equals + 1)).c_str());
  }
}

DWORD WINAPI Control(DWORD control, DWORD, LPVOID, LPVOID) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
    case SERVICE_CONTROL_PRESHUTDOWN: {
      Service& service = TheService();
      std::lock_guard<std::mutex> lock(service.mutex);
      SetStateLocked(service, SERVICE_STOP_PENDING, kFirstStopWaitHintMs);
      if (service.stopHandlers.empty())
        ++service.unheardStops;
      // Called with the mutex held, so that RemoveStopHandler cannot return while a handler
      // still runs; handlers only post work.
      for (auto& [id, handler] : service.stopHandlers)
        handler();
      return NO_ERROR;
    }
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

// Whether the service control manager (services.exe) started this process, so that the
// dispatcher has something to connect to. Asking the dispatcher alone would tell, but Wine's
// waits 10 s before it gives up in a program started from a console. When the processes
// cannot be listed, the dispatcher is asked.
bool StartedByServiceControlManager() {
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE)
    return true;
  auto find = [snapshot](DWORD id, PROCESSENTRY32W& entry) {
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more;
         more = ::Process32NextW(snapshot, &entry)) {
      if (entry.th32ProcessID == id)
        return true;
    }
    return false;
  };
  PROCESSENTRY32W entry{};
  bool started = true;
  if (find(::GetCurrentProcessId(), entry)) {
    DWORD parent = entry.th32ParentProcessID;
    // A parent that is gone was no service control manager: that one outlives its services.
    started = find(parent, entry) && ::_wcsicmp(entry.szExeFile, L"services.exe") == 0;
  }
  ::CloseHandle(snapshot);
  return started;
}

void WINAPI ServiceMain(DWORD argc, LPWSTR* argv) {
  Service& service = TheService();
  std::wstring name = argc > 0 && argv[0] != nullptr ? argv[0] : L"";
  SERVICE_STATUS_HANDLE handle = ::RegisterServiceCtrlHandlerExW(name.c_str(), &Control, nullptr);
  if (handle == nullptr) {
    service.exitCode = 1;
    return;
  }
  {
    std::lock_guard<std::mutex> lock(service.mutex);
    service.name = name;
    service.handle = handle;
    service.status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    service.status.dwWin32ExitCode = NO_ERROR;
    SetStateLocked(service, SERVICE_START_PENDING, kFirstStartWaitHintMs);
  }
  ApplyServiceEnvironment(name);
  int exitCode = 1;
  try {
    exitCode = (*service.body)();
  } catch (...) {
    ReportFailure("the service ended with an exception of unknown type");
  }
  std::lock_guard<std::mutex> lock(service.mutex);
  service.exitCode = exitCode;
  service.status.dwWin32ExitCode = exitCode == 0 ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
  service.status.dwServiceSpecificExitCode = static_cast<DWORD>(exitCode);
  SetStateLocked(service, SERVICE_STOPPED, 0);
}

}  // namespace

int RunAsService(const std::function<int()>& body) {
  Service& service = TheService();
  service.body = &body;
  wchar_t anyName[] = L"";  // a program of its own serves one service, whatever its name
  SERVICE_TABLE_ENTRYW table[] = {{anyName, &ServiceMain}, {nullptr, nullptr}};
  if (StartedByServiceControlManager() && ::StartServiceCtrlDispatcherW(table))
    return service.exitCode;
  // ERROR_FAILED_SERVICE_CONTROLLER_CONNECT: started from a console, not by the service
  // control manager. Any other failure runs the program as a console program too.
  return body();
}

bool Supervised() {
  Service& service = TheService();
  std::lock_guard<std::mutex> lock(service.mutex);
  return service.handle != nullptr;
}

void ReportStarting(const std::string&, std::chrono::milliseconds expected) {
  Service& service = TheService();
  std::lock_guard<std::mutex> lock(service.mutex);
  SetStateLocked(service, SERVICE_START_PENDING, Milliseconds(expected));
}

void ReportReady() {
  Service& service = TheService();
  std::lock_guard<std::mutex> lock(service.mutex);
  SetStateLocked(service, SERVICE_RUNNING, 0);
}

void ReportStatus(const std::string&) {}

void ReportStopping(std::chrono::milliseconds stillNeeded) {
  Service& service = TheService();
  std::lock_guard<std::mutex> lock(service.mutex);
  SetStateLocked(service, SERVICE_STOP_PENDING, Milliseconds(stillNeeded));
}

void ReportFailure(const std::string& message) {
  Service& service = TheService();
  std::wstring name;
  {
    std::lock_guard<std::mutex> lock(service.mutex);
    if (service.handle == nullptr)
      return;
    name = service.name;
  }
  std::wstring text = Wide(message);
  ::OutputDebugStringW((name + L": " + text).c_str());
  HANDLE source = ::RegisterEventSourceW(nullptr, name.c_str());
  if (source != nullptr) {
    LPCWSTR strings[] = {text.c_str()};
    ::ReportEventW(source, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr);
    ::DeregisterEventSource(source);
  }
}

void KeepAlive() {}

std::chrono::microseconds WatchdogInterval() {
  return std::chrono::microseconds(0);
}

std::uint64_t AddStopHandler(std::function<void()> handler) {
  Service& service = TheService();
  std::lock_guard<std::mutex> lock(service.mutex);
  std::uint64_t id = service.nextHandlerId++;
  for (; service.unheardStops > 0; --service.unheardStops)
    handler();
  service.stopHandlers.emplace(id, std::move(handler));
  return id;
}

void RemoveStopHandler(std::uint64_t id) {
  Service& service = TheService();
  std::lock_guard<std::mutex> lock(service.mutex);
  service.stopHandlers.erase(id);
}

}  // namespace os
