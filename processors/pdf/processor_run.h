// One run of a PDF processor on its job file: read the parameters the server wrote, run the
// operation, and leave the answer (or one "error" element) in the same file. The answer
// replaces the job file through a temporary file and a rename, so the server never reads a
// half-written answer.
#pragma once

#include <optional>
#include <string>

#include "processors/pdf/confined_path.h"
#include "processors/pdf/operation_table.h"

// Exit codes of a PDF processor.
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
};

// The settings from this process's environment.
RunSettings SettingsFromEnvironment();

// Runs `operation` on the job file at `jobPath` and writes the answer there. The process's
// address space is limited to VTPS_PDF_MAX_MEMORY_MB first, and the libraries' own messages
// are kept off standard error while the operation runs. A successful answer lists the
// repairs qpdf made without losing anything under "warning". Returns one of the exit codes
// above; kExitAnswerNotWritten also writes the reason to standard error. Never throws.
int RunJob(Operation operation, const std::string& jobPath, const RunSettings& settings);
