// The entry of a PDF program: started as `PROGRAM -r -i JOBFILE` under the name of one of its
// operations, it checks its command line, reads its settings from the environment and runs
// that operation on the job file within the run's limits: the confined paths, the page
// budget and the byte, image and memory limits, with the damage watch over every document
// the operation reads or writes.
#pragma once

#include "processors/pdf/entry/operation_table.h"

namespace pdf::entry {

// Runs the operation of `operations` named by argv[0]'s base name. Returns the process's
// exit code (run/job_run.h); a wrong name or command line writes the usage to standard
// error, leaves the job file untouched and returns kExitUsage. A successful answer lists the
// repairs qpdf made without losing anything under "warning".
int RunProcessor(int argc, char** argv, const OperationTable& operations);

}  // namespace pdf::entry
