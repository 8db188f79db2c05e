// The program names the PDF processors answer to, each with its method name in the sample
// configuration and its operation. The operations live in three programs, split by the
// libraries they load, since loading a library and those it needs costs every start of a
// program that links it, whether the operation uses it or not: vtps-pdf (libqpdf, with
// libpng and libjpeg) runs the document operations, vtps-pdf-draw (libqpdf and poppler, whose 25 libraries add about
// 9 ms) the ones that draw pages as images or text, and vtps-pdf-metadata (libqpdf and
// libxml2, with ICU about 2 ms) PdfMetadata, the one that reads XML. Each program is linked
// under the names of its own operations and looks itself up in its table by the base name
// it was started as. Constant data; safe from any thread.
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

using OperationTable = std::vector<OperationEntry>;

// vtps-pdf's operations (library vtps_pdf_operations).
const OperationTable& DocumentOperations();
// vtps-pdf-draw's operations (library vtps_pdf_drawing): PdfRender, PdfText, PdfOcr.
const OperationTable& DrawingOperations();
// vtps-pdf-metadata's operation (library vtps_pdf_metadata): PdfMetadata.
const OperationTable& MetadataOperations();

// The entry of `operations` for the base name of `programPath` ("/x/pdf-info" gives
// pdf-info's), or null.
const OperationEntry* FindOperation(const OperationTable& operations,
                                    const std::string& programPath);
