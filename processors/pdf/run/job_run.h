// One run of a processor program on its job file: read the parameters the server wrote, do the
// job, and leave the answer (or one "error" element) in the same file. The answer replaces the
// job file through a temporary file and a rename, so the server never reads a half-written
// answer. The settings come from the program's edge (SettingsFromEnvironment in main) and are
// passed in. One run per process, on one thread.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/kqtypes/kq_dict.h"
#include "processors/pdf/run/confined_path.h"
#include "processors/pdf/run/limit_settings.h"

namespace pdf::run {

// Exit codes of a processor program.
constexpr int kExitSuccess = 0;
constexpr int kExitFailed = 1;            // the answer holds "error"
constexpr int kExitUsage = 2;             // wrong command line or program name; nothing written
constexpr int kExitAnswerNotWritten = 3;  // the job file could not be replaced

struct RunSettings {
  RootSettings paths;                             // VTPS_PDF_ROOT, VTPS_PDF_UNCONFINED
  std::optional<std::string> maxPages;            // VTPS_PDF_MAX_PAGES
  std::optional<std::string> maxStreamBytes;      // VTPS_PDF_MAX_STREAM_BYTES
  std::optional<std::string> maxMemoryMb;         // VTPS_PDF_MAX_MEMORY_MB
  std::optional<std::string> maxOutputBytes;      // VTPS_PDF_MAX_OUTPUT_BYTES
  std::optional<std::string> maxAttachmentBytes;  // VTPS_PDF_MAX_ATTACHMENT_BYTES
  std::optional<std::string> maxImageBytes;       // VTPS_PDF_MAX_IMAGE_BYTES
  std::optional<std::string> maxDecodedBytes;     // VTPS_PDF_MAX_DECODED_BYTES
  std::optional<std::string> maxPageOperators;    // VTPS_PDF_MAX_PAGE_OPERATORS
  std::optional<std::string> maxRunOperators;     // VTPS_PDF_MAX_RUN_OPERATORS
};

// The settings from this process's environment.
RunSettings SettingsFromEnvironment();

// What a job's work is given: the parameters the job file holds (never empty), the settings,
// and the byte and memory limits read from them.
struct JobStart {
  const KQ_TDict& parameters;
  const RunSettings& settings;
  const LimitSettings& limits;
};

// A program's work on one job: returns the answer, or throws PdfError with the message the
// client should read. Before letting std::bad_alloc pass it sets `workingOn` to what ran out
// of memory (`file "a.pdf"`).
using JobWork = std::function<KQ_TDict(const JobStart& start, std::string& workingOn)>;

// Runs `work` on the job file at `jobPath` and writes the answer there. The process's address
// space is limited to VTPS_PDF_MAX_MEMORY_MB first, and the libraries' own messages are kept
// off standard error while the work runs. When writing the answer runs out of memory,
// `releaseMemory` (if set) is called and the answer written again; when it runs out again, the
// answer is that error. Returns one of the exit codes above; kExitAnswerNotWritten also writes
// the reason to standard error. Every string of the answer is made fit for XML first
// (run/xml_answer.h); a successful answer says so in a "warning" where that changed it. Never
// throws.
int RunJob(const JobWork& work, const std::string& jobPath, const RunSettings& settings,
           const std::function<void()>& releaseMemory = {});

}  // namespace pdf::run
