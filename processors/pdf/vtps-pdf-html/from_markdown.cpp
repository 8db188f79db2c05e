// PdfFromMarkdown: a Markdown (CommonMark) document made into an HTML page, with the default
// stylesheet or the one "stylesheet" names (relative to the document), and printed as
// PdfFromHtml prints. Raw HTML in the document is left out; its images are served from
// beside it as a page's files are.
#include <filesystem>

#include "processors/pdf/html/markdown_page.h"
#include "processors/pdf/text/pdf_error.h"
#include "processors/pdf/vtps-pdf-html/page_print.h"

namespace pdf::ops {

KQ_TDict PdfFromMarkdown(const run::JobParameters& parameters,
                         document::OperationContext& context) {
  std::optional<std::string> stylesheet = parameters.OptionalString("stylesheet");
  if (stylesheet && stylesheet->empty())
    throw PdfError("parameter \"" + parameters.Name("stylesheet") + "\" is empty");
  std::string title = parameters.OptionalString("title").value_or(
      std::filesystem::path(parameters.String("file")).stem().string());
  return PrintDocument(
      parameters, context, {".md", ".markdown", ".txt"},
      [&](const std::string& markdown) { return html::MarkdownPage(markdown, title, stylesheet); });
}

}  // namespace pdf::ops
