// What PdfFromHtml and PdfFromMarkdown share: the document opened beneath the root, the page's
// files served to the browser engine from the run's confined paths, the print asked of the
// engine into the output, and the engine's PDF read back with qpdf (damage, page budget)
// before it is committed.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/kqtypes/kq_dict.h"
#include "processors/pdf/document/operation_context.h"
#include "processors/pdf/run/job_parameters.h"

namespace pdf::ops {

// Makes the HTML page of a document that is not HTML (Markdown) from its bytes.
using PageMaker = std::function<std::string(const std::string& bytes)>;

// Prints the document "file" (an HTML file, or one whose page `maker` makes) to "output".
// `extensions` are the names the document may end with (".html"). Throws PdfError when the
// document, an option or the output is refused, the engine cannot be reached, or the print
// fails.
KQ_TDict PrintDocument(const run::JobParameters& parameters, document::OperationContext& context,
                       const std::vector<std::string>& extensions, const PageMaker& maker = {});

}  // namespace pdf::ops
