// LibreOffice through LibreOfficeKit: prepared once in the engine (lok_preinit: the libraries
// loaded, the configuration and fonts read, no thread of its own but the configuration's
// writer), and finished in each worker (lok_init_2), which then opens one document and
// exports it as PDF. The engine calls PrepareOffice on its main thread before it serves;
// ConvertInWorker runs only in a worker forked after it.
#pragma once

#include <string>
#include <vector>

#include "platform/os/folder_files.h"
#include "processors/pdf/office/engine_message.h"

namespace pdf::office {

struct WorkerSetup {
  std::string installPath;  // LibreOffice's "program" folder
  std::string profileUrl;   // "file:///run/vtps-office/profile"
  std::string workRoot;     // each worker works in WORKROOT/PID, which the engine removes
  long long maxMemoryMb = 0;
  long long maxInputBytes = 0;
  bool unisolated = false;  // convert even where the network cannot be taken away
};

// Loads LibreOffice for forking. Returns "" or why it cannot be loaded.
std::string PrepareOffice(const WorkerSetup& setup);

// The conversion of the request's input (files[0]) into the PDF written to files[1]: the
// worker leaves the network, limits its memory and the size of the files it writes, copies
// the input into its own folder, opens it with macros off and exports it. Returns the answer:
// "status" "ok" with "documentType" ("text", "spreadsheet", "presentation", "drawing"), or
// "failed" with a "message" for the client. Never throws.
EngineMessage ConvertInWorker(const WorkerSetup& setup, const EngineMessage& request,
                              std::vector<os::FileHandle>& files);

// The folder ConvertInWorker uses in the worker `workerId`.
std::string WorkerFolder(const WorkerSetup& setup, int workerId);

}  // namespace pdf::office
