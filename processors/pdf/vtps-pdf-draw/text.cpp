// PdfText: the text of each selected page, in reading order as laid out on the page.
#include <poppler-page.h>

#include "processors/pdf/document/operation_context.h"
#include "processors/pdf/drawing/poppler_document.h"
#include "processors/pdf/run/job_parameters.h"
#include "processors/pdf/text/answer_text.h"
#include "processors/pdf/text/page_ranges.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::ops {

KQ_TDict PdfText(const run::JobParameters& parameters, document::OperationContext& context) {
  document::PdfFile input = document::OpenFileParameter(parameters, context);
  // A page named twice is given once, like the other operations that read a set of pages.
  std::vector<int> pages = document::DistinctPages(parameters, input, context);
  std::unique_ptr<poppler::document> document = drawing::OpenPagesWithPoppler(
      input, pages, drawing::PopplerUse::kText, context, parameters.OptionalString("password"));

  KQ_TArray entries;
  for (int number : pages) {
    std::unique_ptr<poppler::page> page(document->create_page(number - 1));
    if (!page)
      throw PdfError("file \"" + input.label + "\": page " + std::to_string(number) +
                     " cannot be read by the text extractor");
    poppler::byte_array utf8 =
        page->text(poppler::rectf(), poppler::page::physical_layout).to_utf8();
    std::string text(utf8.begin(), utf8.end());
    // The layout ends each page with a line break and padding; the client gets the text.
    text.erase(text.find_last_not_of(" \t\r\n\f") + 1);
    KQ_TDict entry;
    entry["number"] = std::to_string(number);
    entry["text"] = text::XmlSafeText(text);
    entries.Append(entry);
  }
  KQ_TDict answer;
  answer["page"] = entries;
  return answer;
}

}  // namespace pdf::ops
