// The operations a PDF program answers to. Each program is one folder (vtps-pdf, ...) whose
// operations.table lists its operations, one line each: the program name it is linked under,
// the method name the configuration maps to it, and what it does. The build turns that table
// into this program's ProgramOperations() and its links, and writes from all the tables the
// sample configurations and the method lists of the docs. The programs are split by the
// libraries they load, since every library a program links costs each of its starts. A program
// looks itself up by the base name it was started as. Constant data; safe from any thread.
#pragma once

#include <string>
#include <vector>

#include "platform/kqtypes/kq_dict.h"
#include "processors/pdf/document/operation_context.h"
#include "processors/pdf/run/job_parameters.h"

namespace pdf::entry {

// An operation: reads its parameters, does its work and returns the answer dictionary
// (strings, sub-dictionaries and arrays only, as the job file carries them). Outputs are
// committed only after everything else has succeeded; on any failure it throws PdfError
// naming the parameter or file, and leaves no output behind.
using Operation = KQ_TDict (*)(const run::JobParameters&, document::OperationContext&);

struct OperationEntry {
  const char* program;      // "pdf-info"
  const char* method;       // "PdfInfo"
  const char* description;  // "describes a document and its pages"
  Operation run;
};

using OperationTable = std::vector<OperationEntry>;

// The operations of the program being linked, from its operations.table (the build writes
// this function for each program).
const OperationTable& ProgramOperations();

// The entry of `operations` for the base name of `programPath` ("/x/pdf-info" gives
// pdf-info's), or null.
const OperationEntry* FindOperation(const OperationTable& operations,
                                    const std::string& programPath);

}  // namespace pdf::entry
