// PdfText: the text of each selected page, in reading order as laid out on the page.
#include <poppler-page.h>

#include "processors/pdf/operations.h"
#include "processors/pdf/page_precheck.h"
#include "processors/pdf/page_ranges.h"
#include "processors/pdf/pdf_error.h"
#include "processors/pdf/poppler_document.h"
#include "processors/pdf/xml_text.h"

KQ_TDict PdfText(const JobParameters& parameters, OperationContext& context) {
  PdfFile input = OpenFileParameter(parameters, context);
  // A page named twice is given once, like the other operations that read a set of pages.
  std::vector<int> pages = DistinctPages(parameters, input, context);
  CheckPagesBeforePoppler(input.pages, pages, {context.limits.maxStreamBytes, false, true},
                          input.label);
  context.limits.damage.Check();
  std::unique_ptr<poppler::document> document =
      OpenWithPoppler(input, parameters.OptionalString("password"));

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
    entry["text"] = XmlSafeText(text);
    entries.Append(entry);
  }
  KQ_TDict answer;
  answer["page"] = entries;
  return answer;
}
