// The debug channel's sink and line format.
//
// One DebugLog per process receives the lines of every server in it and writes them to the
// debug log file the program's options name (KQM_DEBUG_LOG, see program_options.h), or to the
// system log when they name none. It never writes to standard output or standard error.
// Every operation is safe to call from any thread; each line is written whole and flushed.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

namespace kqm {

// "2026-12-08T21:19:34.123Z": UTC with milliseconds.
std::string UtcTimestamp(std::chrono::system_clock::time_point when);

// "<time> <service> <process id> <thread id> <level> <text>". Line breaks inside the text
// become spaces, so that one call always gives one line. Pure.
std::string FormatDebugLine(std::string_view time, std::string_view service,
                            std::uint32_t processId, std::uint32_t threadId, int level,
                            std::string_view text);

class DebugLog {
 public:
  // The process's sink, set up from the program's options on first use.
  static DebugLog& Instance();

  // Sends lines to the file `path` names, appending, or to the system log when `path` is
  // empty. Returns false when the file cannot be opened; lines then go to the system log,
  // which also gets a line saying why.
  bool Configure(const std::string& path);
  // Configure with the debug log the program's options name now.
  bool Configure();

  // Appends one line (without its newline).
  void Write(const std::string& line);

  DebugLog(const DebugLog&) = delete;
  DebugLog& operator=(const DebugLog&) = delete;

 private:
  DebugLog() = default;
  void CloseFile();

  std::mutex mutex_;
  std::FILE* file_ = nullptr;  // guarded by mutex_; null: the system log
};

}  // namespace kqm
