// Execute: carries out one request by running the processor program configured for its
// method on a job file, and answers with what the program left in that file.
//
// The steps: look the method up; write the parameters into a new job file; build the
// command line from the program base directory (the value of the variable named by
// progPathEnvVar), the program directory and the program file; run it through the command
// interpreter, within the time and memory limits, and wait; read the job file back into the
// answer; delete the file when the command returned 0 and the debug level is below 5, else
// remove the secret values from it and keep it. Failures are logged on the debug channel it
// is given and give an empty or partial answer (see ExecuteJob).
//
// Runs on the thread that handles the request and blocks it while the program runs. Reads
// the configuration it is given and changes nothing shared; takes no lock.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <string>

#include "jobs/job_secrets.h"
#include "platform/kqmware/debug_channel.h"
#include "platform/kqtypes/kq_dict.h"
#include "platform/kqtypes/kq_string.h"
#include "platform/kqtypes/kq_url.h"
#include "platform/os/os.h"

// Processor name (a request's method) to processor program file.
using ProcessorTable = std::map<KQ_TString, KQ_TString>;

// What Execute reads of the server's configuration; borrowed, so it must outlive the call.
struct ExecuteConfiguration {
  const ProcessorTable& processors;
  const KQ_TString& progPathEnvVar;
  const KQ_TString& programDirectory;
  const KQ_TURL& workingDirectory;
  // How long a processor may run before its process tree is ended; 0: no limit.
  std::int64_t timeLimitSeconds = 0;
  // Answer files larger than this are not read (they could not be sent anyway); 0: no limit.
  std::uintmax_t maxAnswerBytes = 0;
  // Memory each process of the processor's tree may use, in MiB (see os::RunCommandTree);
  // 0: no limit.
  std::uint64_t memoryLimitMiB = 0;
  // Keys whose values are removed from a job file before it is kept; borrowed.
  std::span<const std::string> secretKeys = DefaultSecretKeys();
  // Runs the command line as os::RunCommandTree does (line, time limit, memory limit in
  // MiB); os::RunCommandTree itself when empty. Tests put a fake here.
  std::function<os::CommandResult(const std::string&, std::chrono::milliseconds, std::uint64_t)>
      runCommand = nullptr;
};

// Runs the request. Logs through `debug`, whose level also decides whether the job file is
// kept:
//   1 "Receiving Execute call" on every call;
//   0 "VantricProcessServer Exception Processor not found." for an unknown method (empty
//     answer, nothing written or run);
//   0 "VantricProcessServer Exception Parameters refused: <reason>" when the mapping refuses
//     the parameters (the job file is then written empty and the processor still runs);
//   0 "VantricProcessServer Exception when generating XML file. <reason>" when the job file
//     cannot be created or written, the reason naming the file and the OS's cause (empty
//     answer, the command is not run; a file written in part is kept as below);
//   2 "Program Path Environment Variable is undefined" when progPathEnvVar names an unset or
//     empty variable (the base directory is then left out);
//   3 "Executing following command: <line>" before running it;
//   0 "VantricProcessServer Exception Processor time limit exceeded (N s)." when the
//     processor's tree was ended: N is the time limit, or after a server's stop deadline how
//     long the processor had run; the run then counts as failed;
//   0 "VantricProcessServer Exception Processor memory limit exceeded (N MiB)." when the OS
//     reported that a process of the tree went beyond the memory limit of N MiB (Windows;
//     on POSIX the allocation fails and the processor usually exits non-zero); the run then
//     counts as failed;
//   0 "Failed to spawn command : <line>" when it returns non-zero (the answer is still read);
//   0 "VantricProcessServer Exception Answer file too large (N bytes)." when the answer file
//     exceeds maxAnswerBytes: it is not read, and the answer is empty;
//   0 "VantricProcessServer Exception Answer file unreadable: <reason>." when the answer file
//     is there but cannot be read or parsed (see ReadJobFile): the answer is empty;
//   0 "VantricProcessServer Exception when spawning the command. Reason: <reason>." when the
//     command interpreter cannot be started (the OS's reason; nothing runs, the run fails), or
//     when logging, running or converting the answer throws (the exception's message; the
//     answer holds what was converted before); without " Reason: ..." for an exception that
//     carries no message;
//   0 (after a failed run) or 5 (a successful run at debug level 5 and above) "Job file
//     kept: <path>." when the file stays, with " Secret values removed: <keys>." when the
//     values of secretKeys were removed from it, or " Secret values not removed: <reason>."
//     when it could not be read or rewritten (it then stays as the processor left it); see
//     RemoveSecretsFromJobFile. No line when the processor removed the file.
// Exceptions from building the job file path leave the call.
KQ_TDict ExecuteJob(const DebugChannel& debug, const ExecuteConfiguration& configuration,
                    const KQ_TString& method, const KQ_TDict& parameters);
