// Worker processes forked from a program that has prepared an expensive state once (a
// library loaded and initialised), so that each piece of work starts from that state in a
// process of its own and leaves nothing behind for the next. A worker has a process group of
// its own, is killed with its parent, and is watched through a process descriptor that can
// be waited on beside sockets. What a worker may do before exec-free work begins (leave the
// network, limit its files' size) is here too. Linux only. A WorkerProcess is owned by the
// one thread that forked it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/os/folder_files.h"

namespace os {

// How a worker ended: its exit code, or the signal that ended it.
struct WorkerEnd {
  int exitCode = -1;  // -1 when a signal ended it
  int signal = 0;
};

class WorkerProcess {
 public:
  WorkerProcess() = default;
  WorkerProcess(WorkerProcess&& other) noexcept;
  WorkerProcess& operator=(WorkerProcess&& other) noexcept;
  ~WorkerProcess();  // kills and reaps a worker still running

  // Forks a worker that runs `body` and ends with its result, without running this
  // process's exit handlers (an exception ends it with 70). Must be called while this
  // process has a single thread, or while its other threads hold no lock the body needs.
  // Returns an empty object and sets `error` when the fork fails.
  static WorkerProcess Fork(const std::function<int()>& body, std::string& error);

  bool Running() const { return id_ > 0; }
  int Id() const { return id_; }
  // Readable once the worker has ended (WaitReadable); it stays readable until Reap.
  int EndDescriptor() const { return ended_.Get(); }

  // Kills the worker's whole process group (SIGKILL); Reap then reports the signal.
  void Kill() const;
  // Waits for the worker to end and says how it did; the object is empty afterwards.
  WorkerEnd Reap();

 private:
  int id_ = -1;
  FileHandle ended_;  // the pidfd
};

// For a worker, before its work: leaves the network by entering network namespaces of its
// own (a user namespace first where the process has not the right to make one otherwise),
// so that nothing it does reaches another machine or this machine's listeners. Returns ""
// or why the system refused ("unprivileged user namespaces are disabled" and the like).
std::string LeaveNetwork();

// For a worker: a file it writes may grow to at most `bytes` (RLIMIT_FSIZE); writing past
// it fails and raises SIGXFSZ, which ends the worker. Returns 0 or the errno.
int LimitFileSize(std::uint64_t bytes);

// Starts `program` with `arguments` as a daemon of its own: in a new session, its standard
// streams on /dev/null, no descriptor of this process, not a child of it (so that it
// outlives the caller and is never its zombie). Returns "" or why it could not be started;
// that the program then ran is the caller's to find out.
std::string StartDetached(const std::string& program, const std::vector<std::string>& arguments);

// Keeps SIGINT and SIGTERM from every thread of the process; call on the main thread before
// any other thread starts, so that the threads libraries start inherit the mask.
void BlockStopSignals();

// From then on SIGINT and SIGTERM go to the calling thread only: each sets `stop` and makes
// the returned descriptor readable, so that a wait that watches it (WaitReadable) ends even
// when the signal came just before it began. `stop` must outlive the process's use of
// signals. A worker forked later gets default handling and no mask.
FileHandle TakeStopSignals(std::atomic<bool>& stop);

// The soft address-space limit raised to the hard one, where an ancestor set it lower
// (a program started by a processor inherits the processor's own limit).
void LiftAddressSpaceLimit();

// The effective user id of this process.
unsigned EffectiveUserId();

// The folder holding this program's own executable ("/usr/lib/vtps/processors").
std::string ProgramFolder();

}  // namespace os
