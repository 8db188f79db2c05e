#include "platform/kqmware/debug_log.h"

#include <cerrno>
#include <cstdio>

#include "platform/kqmware/program_options.h"
#include "platform/os/os.h"

namespace kqm {

namespace {

// Days since 1970-01-01 to a civil date (proleptic Gregorian), after H. Hinnant.
void CivilFromDays(std::int64_t days, int& year, unsigned& month, unsigned& day) {
  days += 719468;
  std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  auto dayOfEra = static_cast<unsigned>(days - era * 146097);
  unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  unsigned monthIndex = (5 * dayOfYear + 2) / 153;
  day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
  month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
  year = static_cast<int>(static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2));
}

}  // namespace

std::string UtcTimestamp(std::chrono::system_clock::time_point when) {
  using namespace std::chrono;
  std::int64_t millis = duration_cast<milliseconds>(when.time_since_epoch()).count();
  std::int64_t seconds = millis >= 0 ? millis / 1000 : (millis - 999) / 1000;
  std::int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
  std::int64_t secondOfDay = seconds - days * 86400;
  int year = 0;
  unsigned month = 0;
  unsigned day = 0;
  CivilFromDays(days, year, month, day);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", year, month, day,
                static_cast<int>(secondOfDay / 3600), static_cast<int>(secondOfDay / 60 % 60),
                static_cast<int>(secondOfDay % 60), static_cast<int>(millis - seconds * 1000));
  return text;
}

std::string FormatDebugLine(std::string_view time, std::string_view service,
                            std::uint32_t processId, std::uint32_t threadId, int level,
                            std::string_view text) {
  std::string line;
  line.reserve(time.size() + service.size() + text.size() + 32);
  line.append(time).append(" ").append(service.empty() ? "-" : service).append(" ");
  line.append(std::to_string(processId)).append(" ").append(std::to_string(threadId));
  line.append(" ").append(std::to_string(level)).append(" ");
  for (char c : text)
    line += (c == '\n' || c == '\r') ? ' ' : c;
  return line;
}

DebugLog& DebugLog::Instance() {
  // Never destroyed: servers in static objects may still log while the process ends.
  static DebugLog* log = [] {
    auto* created = new DebugLog;
    created->Configure();
    return created;
  }();
  return *log;
}

void DebugLog::CloseFile() {
  if (file_ != nullptr)
    std::fclose(file_);
  file_ = nullptr;
}

bool DebugLog::Configure() {
  return Configure(ProgramOptionsInUse().debugLog);
}

bool DebugLog::Configure(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  CloseFile();
  if (path.empty())
    return true;
  file_ = os::OpenForAppend(path);
  if (file_ != nullptr)
    return true;
  os::WriteSystemLog("KQMWare: cannot open the debug log " + path + " named in KQM_DEBUG_LOG: " +
                     os::ErrorText(errno) + "; debug lines go to the system log");
  return false;
}

void DebugLog::Write(const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (file_ == nullptr) {
    os::WriteSystemLog(line);
    return;
  }
  std::string whole = line + "\n";
  std::fwrite(whole.data(), 1, whole.size(), file_);
  std::fflush(file_);
}

}  // namespace kqm
