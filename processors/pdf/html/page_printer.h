// The engine's printing of one document in the browser: a new browser context (no cookie,
// storage or cache of another document), a page in it whose every request is paused and put
// to the processor as a question (the processor hands the file, lets the browser fetch, or
// refuses), the waits the request asks for, the print into the processor's output file, and
// the context disposed whatever happened. Runs on the document's own thread; the connection
// to the browser is shared with the other documents' threads.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "platform/os/folder_files.h"
#include "processors/pdf/html/devtools_connection.h"
#include "processors/pdf/office/engine_message.h"

namespace pdf::html {

// The most warnings one answer names; the rest are counted.
inline constexpr std::size_t kMaxWarnings = 40;

// Prints the request's page into `output`, asking the processor at `connection` for the
// page's files, until `deadline`. Returns the answer ("status" "ok" with "warning" entries,
// or "failed" with "message"). `timedOut` tells a failure because the deadline passed, and
// `browserFailed` one because the browser stopped answering or ended.
struct PrintOutcome {
  office::EngineMessage answer;
  bool timedOut = false;
  bool browserFailed = false;
};
PrintOutcome PrintPage(DevToolsConnection& browser, const office::EngineMessage& request,
                       const os::FileHandle& connection, const os::FileHandle& output,
                       Clock::time_point deadline);

}  // namespace pdf::html
