// RunLimits: what bounds one run of a PDF processor besides its pages: the bytes one stream
// may decode to, the bytes one embedded file may hold, the output budget, the image samples the
// run may decode, the watch over the qpdf documents' warnings, and the file being worked on,
// which an allocation failure is reported against. One object per run, made by the run and
// borrowed by the operations through their context; one thread.
#pragma once

#include <string>

#include "processors/pdf/damage_watch.h"
#include "processors/pdf/image_budget.h"
#include "processors/pdf/limit_settings.h"
#include "processors/pdf/output_budget.h"

struct RunLimits {
  explicit RunLimits(const LimitSettings& settings)
      : maxStreamBytes(settings.maxStreamBytes),
        maxMemoryMb(settings.maxMemoryMb),
        maxAttachmentBytes(settings.maxAttachmentBytes),
        output(settings.maxOutputBytes) {}

  long long maxStreamBytes;
  long long maxMemoryMb;
  long long maxAttachmentBytes;
  OutputBudget output;
  ImageBudget images;
  DamageWatch damage;
  // `file "a.pdf"` or `output "b.pdf"`: what an out-of-memory error names.
  std::string workingOn = "the job";
};
