// PdfRotate: chosen pages turned by a multiple of 90 degrees.
#include "processors/pdf/document/operation_context.h"
#include "processors/pdf/run/job_parameters.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::ops {

KQ_TDict PdfRotate(const run::JobParameters& parameters, document::OperationContext& context) {
  long long angle = parameters.RequiredInteger("angle", -270, 270);
  if (angle == 0 || angle % 90 != 0)
    throw PdfError("parameter \"" + parameters.Name("angle") + "\" is \"" + std::to_string(angle) +
                   "\"; it must be 90, 180, 270, -90, -180 or -270");
  document::Rewrite rewrite =
      document::OpenRewrite(parameters, context, parameters.String("output"));
  for (int number : document::DistinctPages(parameters, rewrite.input, context))
    rewrite.input.pages[static_cast<std::size_t>(number - 1)].rotatePage(static_cast<int>(angle),
                                                                         true);
  return document::FinishRewrite(rewrite, context);
}

}  // namespace pdf::ops
