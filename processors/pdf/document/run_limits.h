// RunLimits: what bounds one run of a PDF processor besides its pages: the bytes one stream,
// and all streams together, may decode to, the operators its pages may draw, the bytes one
// embedded file may hold, the output budget, the image samples the run may decode, the watch
// over the qpdf documents' warnings, and the file being worked on, which an allocation
// failure is reported against. One object per run, made by the run and
// borrowed by the operations through their context; one thread.
#pragma once

#include <string>

#include "processors/pdf/document/damage_watch.h"
#include "processors/pdf/document/decode_limit.h"
#include "processors/pdf/document/drawing_cost.h"
#include "processors/pdf/run/image_budget.h"
#include "processors/pdf/run/limit_settings.h"
#include "processors/pdf/run/output_budget.h"

namespace pdf::document {

struct RunLimits {
  explicit RunLimits(const run::LimitSettings& settings)
      : maxStreamBytes(settings.maxStreamBytes),
        maxMemoryMb(settings.maxMemoryMb),
        maxAttachmentBytes(settings.maxAttachmentBytes),
        decoding(settings.maxStreamBytes, settings.maxDecodedBytes),
        drawing(settings.maxPageOperators, settings.maxRunOperators),
        output(settings.maxOutputBytes) {}

  long long maxStreamBytes;  // also decoding.MaxStreamBytes()
  long long maxMemoryMb;
  long long maxAttachmentBytes;
  DecodeBudget decoding;
  DrawingBudget drawing;
  run::OutputBudget output;
  run::ImageBudget images;
  DamageWatch damage;
  // `file "a.pdf"` or `output "b.pdf"`: what an out-of-memory error names.
  std::string workingOn = "the job";
};

}  // namespace pdf::document
