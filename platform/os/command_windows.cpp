// Windows implementation of running command lines in process trees the server can end: each
// command line runs in a job object, which holds the interpreter and everything it starts.
#include <windows.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <string>
#include <vector>

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

  // Starts `commandLine` suspended, puts it into a new job and lets it run; records the job
  // under the lock, so that EndAll never misses a tree that has started. Returns false when
  // the process cannot be started.
  bool Start(std::string commandLine, HANDLE& job, PROCESS_INFORMATION& process) {
    std::lock_guard<std::mutex> lock(mutex_);
    job = ::CreateJobObjectA(nullptr, nullptr);
    if (job == nullptr)
      return false;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    // Inherits the standard handles as system() does; the server's sockets and log are
    // made non-inheritable where they are opened.
    if (!::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED,
                          nullptr, nullptr, &startup, &process)) {
      ::CloseHandle(job);
      return false;
    }
    if (!::AssignProcessToJobObject(job, process.hProcess)) {
      // Without a job the tree could not be ended; refuse to run it.
      ::TerminateProcess(process.hProcess, 1);
      ::CloseHandle(process.hThread);
      ::CloseHandle(process.hProcess);
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

CommandResult RunCommandTree(const std::string& line, std::chrono::milliseconds timeLimit) {
  // The interpreter as system() starts it: COMSPEC with /c and the line as it is.
  std::string interpreter = GetEnv("COMSPEC").value_or("cmd.exe");
  RunningJobs& jobs = RunningJobs::Instance();
  auto started = std::chrono::steady_clock::now();
  CommandResult result;
  HANDLE job = nullptr;
  PROCESS_INFORMATION process{};
  if (!jobs.Start("\"" + interpreter + "\" /c " + line, job, process))
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
