// Windows implementation of running command lines in process trees the server can end: each
// command line runs in a job object, which holds the interpreter and everything it starts.
#include <windows.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/os/job_notifications_windows.h"
#include "platform/os/os.h"
#include "platform/os/running_trees.h"
#include "platform/os/system_error_text_windows.h"

namespace os {

namespace {

void EndJob(HANDLE job) {
  ::TerminateJobObject(job, 1);
}

}  // namespace

// A CommandTrees set's job objects.
class CommandTrees::Runs : public RunningTrees<HANDLE, &EndJob> {};

CommandTrees::CommandTrees() : runs_(std::make_unique<Runs>()) {}
CommandTrees::~CommandTrees() = default;

int CommandTrees::EndAll() {
  return runs_->EndAll();
}

namespace {

// Sets the job's per-process memory limit and gives it a new completion port for its notices
// (in `port`, also when a later step fails). Returns false when either is refused.
bool LimitMemory(HANDLE job, std::uint64_t bytes, HANDLE& port) {
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_PROCESS_MEMORY;
  limits.ProcessMemoryLimit = static_cast<SIZE_T>(bytes);
  if (!::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits))
    return false;
  port = ::CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
  if (port == nullptr)
    return false;
  JOBOBJECT_ASSOCIATE_COMPLETION_PORT association{job, port};
  return ::SetInformationJobObject(job, JobObjectAssociateCompletionPortInformation, &association,
                                   sizeof association) != 0;
}

// Starts `commandLine` suspended, puts it into a new job (with the per-process memory limit
// and a completion port for the job's notices when `memoryLimitBytes` is positive), tells
// `runs` and lets it run. Returns "" once it runs, else the step that failed and the system's
// reason; nothing runs then and nothing is left open.
std::string Start(CommandTrees::Runs& runs, CommandTrees::Runs::Entry tree, std::string commandLine,
                  std::uint64_t memoryLimitBytes, HANDLE& job, HANDLE& port,
                  PROCESS_INFORMATION& process) {
  auto failed = [](const char* step) {
    return std::string(step) + ": " + SystemErrorText(::GetLastError());
  };
  job = ::CreateJobObjectA(nullptr, nullptr);
  if (job == nullptr)
    return failed("cannot make a job object");
  port = nullptr;
  if (memoryLimitBytes > 0 && !LimitMemory(job, memoryLimitBytes, port)) {
    std::string failure = failed("cannot limit the job object's memory");
    if (port != nullptr)
      ::CloseHandle(port);
    ::CloseHandle(job);
    return failure;
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  // Inherits the standard handles as system() does; the server's sockets, log and job files
  // are made non-inheritable where they are opened.
  if (!::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED,
                        nullptr, nullptr, &startup, &process)) {
    std::string failure = failed("cannot start the command interpreter");
    if (port != nullptr)
      ::CloseHandle(port);
    ::CloseHandle(job);
    return failure;
  }
  if (!::AssignProcessToJobObject(job, process.hProcess)) {
    // Without a job the tree could not be ended, nor its memory limited; refuse to run it.
    std::string failure = failed("cannot put the command interpreter into its job object");
    ::TerminateProcess(process.hProcess, 1);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    if (port != nullptr)
      ::CloseHandle(port);
    ::CloseHandle(job);
    return failure;
  }
  runs.Started(tree, job);
  ::ResumeThread(process.hThread);
  ::CloseHandle(process.hThread);
  return "";
}

}  // namespace

CommandResult RunCommandTree(const std::string& line, std::chrono::milliseconds timeLimit,
                             std::uint64_t memoryLimitMiB) {
  // The interpreter as system() starts it: COMSPEC with /c and the line as it is.
  std::string interpreter = GetEnv("COMSPEC").value_or("cmd.exe");
  CommandTrees::Runs& runs = CommandTrees::Current().Record();
  auto started = std::chrono::steady_clock::now();
  CommandResult result;
  // A limit beyond what the address space can hold is the largest limit.
  constexpr std::uint64_t kMostBytes = static_cast<std::uint64_t>(static_cast<SIZE_T>(-1));
  std::uint64_t memoryLimitBytes =
      memoryLimitMiB <= (kMostBytes >> 20) ? memoryLimitMiB << 20 : kMostBytes;
  HANDLE job = nullptr;
  HANDLE port = nullptr;
  PROCESS_INFORMATION process{};
  CommandTrees::Runs::Entry tree = runs.Add();
  result.failure =
      Start(runs, tree, "\"" + interpreter + "\" /c " + line, memoryLimitBytes, job, port, process);
  if (!result.failure.empty()) {
    runs.Remove(tree);
    return result;
  }

  DWORD wait = timeLimit.count() > 0
                   ? static_cast<DWORD>(std::min<std::int64_t>(timeLimit.count(), INFINITE - 1))
                   : INFINITE;
  bool timedOut = false;
  if (::WaitForSingleObject(process.hProcess, wait) == WAIT_TIMEOUT) {
    timedOut = true;
    ::TerminateJobObject(job, 1);
    ::WaitForSingleObject(process.hProcess, INFINITE);
  }
  if (port != nullptr) {
    // A process that hit the limit had its allocation refused; it may well have gone on and
    // exited with 0, so the notice is what tells the run failed.
    result.memoryLimitExceeded = DrainMemoryLimitNotices(port);
    ::CloseHandle(port);
  }
  bool stopped = runs.Remove(tree);
  ::CloseHandle(job);
  DWORD code = 0;
  if (::GetExitCodeProcess(process.hProcess, &code))
    result.status = static_cast<int>(code);
  ::CloseHandle(process.hProcess);
  result.seconds = ElapsedSeconds(started);
  if (timedOut)
    result.ended = CommandResult::Ended::kTimeLimit;
  else if (stopped)
    result.ended = CommandResult::Ended::kStopped;
  return result;
}

}  // namespace os
