// Running a PDF program as the server runs it (`pdf-x -r -i JOBFILE`) on a job file the test
// writes, and reading its answer; with the small builders and readers of typed values the
// PDF tests share.
#pragma once

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "platform/kqtypes/kqtypes.h"

namespace vtps_test {

KQ_TArray Array(std::initializer_list<KQ_TAny> elements);
KQ_TDict Dict(std::initializer_list<std::pair<const char*, KQ_TAny>> entries);
// The dictionary as it prints itself, for failure messages.
std::string Show(const KQ_TDict& dict);
// The string under `key`, or "(not a string)".
std::string Text(const KQ_TDict& dict, const char* key);
// The array an answer holds under `key` + "Array" (as the job file carries arrays).
KQ_TArray AnswerArray(const KQ_TDict& answer, const std::string& key);
// The dictionary at `index`, or an empty one.
const KQ_TDict& Element(const KQ_TArray& array, std::size_t index);

struct PdfJobRun {
  int exitCode = -1;
  KQ_TDict answer;
};

// Runs the PDF program `program` of this build ("pdf-info", ...) on the job file `jobPath`
// holding `parameters`, with `environment` added to the inherited one, and reads its answer.
// Its standard error goes to `stderrPath`. Waits at most three minutes (a loaded machine
// runs the large cases slowly).
PdfJobRun RunPdfProgram(const std::string& program, const KQ_TDict& parameters,
                        const std::string& jobPath, const std::string& stderrPath,
                        const std::vector<std::pair<std::string, std::string>>& environment);

// Stops the conversion engine whose socket is in `folder` (its pid file, engine.pid) with
// SIGTERM, and waits until it has gone; nothing when no engine wrote one.
void StopEngine(const std::string& folder);

}  // namespace vtps_test
