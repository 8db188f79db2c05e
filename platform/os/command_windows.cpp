// Windows implementation of running command lines in process trees the server can end: each
// command line runs in a job object, which holds the interpreter and everything it starts.
#include <windows.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/os/job_notifications_windows.h"
#include "platform/os/os.h"

namespace os {
namespace {

// The job objects RunCommandTree is running, each with whether EndCommandTrees ended it.
class RunningJobs {
 public:
  static RunningJobs& Instance() {
    static RunningJobs jobs;
    return jobs;
  }

  // Starts `commandLine` suspended, puts it into a new job (with the per-process memory
  // limit and a completion port for the job's notices when `memoryLimitBytes` is positive)
  // and lets it run; records the job under the lock, so that EndAll never misses a tree that
  // has started. Returns false when the process cannot be started or the job not set up;
  // nothing runs then and nothing is left open.
  bool Start(std::string commandLine, std::uint64_t memoryLimitBytes, HANDLE& job, HANDLE& port,
             PROCESS_INFORMATION& process) {
    std::lock_guard<std::mutex> lock(mutex_);
    job = ::CreateJobObjectA(nullptr, nullptr);
    if (job == nullptr)
      return false;
    port = nullptr;
    if (memoryLimitBytes > 0 && !LimitMemory(job, memoryLimitBytes, port)) {
      if (port != nullptr)
        ::CloseHandle(port);
      ::CloseHandle(job);
      return false;
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    // Inherits the standard handles as system() does; the server's sockets, log and job files
    // are made non-inheritable where they are opened.
    if (!::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED,
                          nullptr, nullptr, &startup, &process)) {
      if (port != nullptr)
        ::CloseHandle(port);
      ::CloseHandle(job);
      return false;
    }
    if (!::AssignProcessToJobObject(job, process.hProcess)) {
      // Without a job the tree could not be ended, nor its memory limited; refuse to run it.
      ::TerminateProcess(process.hProcess, 1);
      ::CloseHandle(process.hThread);
      ::CloseHandle(process.hProcess);
      if (port != nullptr)
        ::CloseHandle(port);
      ::CloseHandle(job);
      return false;
    }
    ::ResumeThread(process.hThread);
    ::CloseHandle(process.hThread);
    jobs_[job] = false;
    return true;
  }

  // Forgets `job` and closes it; true when EndAll ended it.
  bool Remove(HANDLE job) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto entry = jobs_.find(job);
    bool ended = entry != jobs_.end() && entry->second;
    if (entry != jobs_.end())
      jobs_.erase(entry);
    ::CloseHandle(job);
    return ended;
  }

  // Sets the job's per-process memory limit and gives it a new completion port for its
  // notices (in `port`, also when a later step fails). Returns false when either is refused.
  static bool LimitMemory(HANDLE job, std::uint64_t bytes, HANDLE& port) {
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

  int EndAll() {
    std::lock_guard<std::mutex> lock(mutex_);
    int count = 0;
    for (auto& [job, ended] : jobs_) {
      if (!ended) {
        ::TerminateJobObject(job, 1);
        ended = true;
        ++count;
      }
    }
    return count;
  }

 private:
  std::mutex mutex_;
  std::map<HANDLE, bool> jobs_;  // guarded by mutex_
};

}  // namespace

CommandResult RunCommandTree(const std::string& line, std::chrono::milliseconds timeLimit,
                             std::uint64_t memoryLimitMiB) {
  // The interpreter as system() starts it: COMSPEC with /c and the line as it is.
  std::string interpreter = GetEnv("COMSPEC").value_or("cmd.exe");
  RunningJobs& jobs = RunningJobs::Instance();
  auto started = std::chrono::steady_clock::now();
  CommandResult result;
  // A limit beyond what the address space can hold is the largest limit.
  constexpr std::uint64_t kMostBytes = static_cast<std::uint64_t>(static_cast<SIZE_T>(-1));
  std::uint64_t memoryLimitBytes =
      memoryLimitMiB <= (kMostBytes >> 20) ? memoryLimitMiB << 20 : kMostBytes;
  HANDLE job = nullptr;
  HANDLE port = nullptr;
  PROCESS_INFORMATION process{};
  if (!jobs.Start("\"" + interpreter + "\" /c " + line, memoryLimitBytes, job, port, process))
    return result;

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
  bool stopped = jobs.Remove(job);
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

int EndCommandTrees() {
  return RunningJobs::Instance().EndAll();
}

}  // namespace os
