// The PDF operations, one per program name. Each reads its parameters, does its work and
// returns the answer dictionary (strings, sub-dictionaries and arrays only, as the job file
// carries them). Outputs are committed only after everything else has succeeded; on any
// failure an operation throws PdfError naming the parameter or file, and leaves no output
// behind. docs/processors.md describes each one's parameters and answer.
#pragma once

#include "platform/kqtypes/kq_dict.h"
#include "processors/pdf/job_parameters.h"
#include "processors/pdf/operation_context.h"

KQ_TDict PdfInfo(const JobParameters& parameters, OperationContext& context);
KQ_TDict PdfMerge(const JobParameters& parameters, OperationContext& context);
KQ_TDict PdfExtract(const JobParameters& parameters, OperationContext& context);
KQ_TDict PdfSplit(const JobParameters& parameters, OperationContext& context);
KQ_TDict PdfRotate(const JobParameters& parameters, OperationContext& context);
KQ_TDict PdfEncrypt(const JobParameters& parameters, OperationContext& context);
KQ_TDict PdfDecrypt(const JobParameters& parameters, OperationContext& context);
KQ_TDict PdfStamp(const JobParameters& parameters, OperationContext& context);
KQ_TDict PdfOptimize(const JobParameters& parameters, OperationContext& context);
KQ_TDict PdfRender(const JobParameters& parameters, OperationContext& context);
KQ_TDict PdfText(const JobParameters& parameters, OperationContext& context);
KQ_TDict PdfFlatten(const JobParameters& parameters, OperationContext& context);
KQ_TDict PdfMetadata(const JobParameters& parameters, OperationContext& context);
KQ_TDict PdfWatermark(const JobParameters& parameters, OperationContext& context);
KQ_TDict PdfPageNumbers(const JobParameters& parameters, OperationContext& context);
KQ_TDict PdfAttachments(const JobParameters& parameters, OperationContext& context);
KQ_TDict PdfBookmarks(const JobParameters& parameters, OperationContext& context);
KQ_TDict PdfFromImages(const JobParameters& parameters, OperationContext& context);
KQ_TDict PdfCompress(const JobParameters& parameters, OperationContext& context);
KQ_TDict PdfRepair(const JobParameters& parameters, OperationContext& context);
KQ_TDict PdfOcr(const JobParameters& parameters, OperationContext& context);
