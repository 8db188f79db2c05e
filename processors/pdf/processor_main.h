// The entry of a PDF processor program: started as `PROGRAM -r -i JOBFILE` under the name
// of one of its operations, it checks its command line and runs that operation on the job
// file.
#pragma once

#include "processors/pdf/operation_table.h"

// Runs the operation of `operations` named by argv[0]'s base name. Returns the process's
// exit code (processor_run.h); a wrong name or command line writes the usage to standard
// error, leaves the job file untouched and returns kExitUsage.
int RunProcessor(int argc, char** argv, const OperationTable& operations);
