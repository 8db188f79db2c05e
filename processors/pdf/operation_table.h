// The program names the PDF processor answers to, each with its method name in the sample
// configuration and its operation. The one program is linked under every name and looks
// itself up here by the base name it was started as. Constant data; safe from any thread.
#pragma once

#include <string>
#include <vector>

#include "platform/kqtypes/kq_dict.h"
#include "processors/pdf/job_parameters.h"
#include "processors/pdf/operation_context.h"

using Operation = KQ_TDict (*)(const JobParameters&, OperationContext&);

struct OperationEntry {
  const char* program;  // "pdf-info"
  const char* method;   // "PdfInfo"
  Operation run;
};

const std::vector<OperationEntry>& Operations();

// The entry for the base name of `programPath` ("/x/pdf-info" gives pdf-info's), or null.
const OperationEntry* FindOperation(const std::string& programPath);
