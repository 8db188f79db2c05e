// PdfPageNumbers: the number of each chosen page, from a pattern such as "Page {n} of
// {total}", written in a corner or at a side.
#include <algorithm>

#include "processors/pdf/document/operation_context.h"
#include "processors/pdf/editing/page_text_painter.h"
#include "processors/pdf/run/job_parameters.h"
#include "processors/pdf/text/page_number_pattern.h"
#include "processors/pdf/text/text_line_layout.h"

namespace pdf::ops {

KQ_TDict PdfPageNumbers(const run::JobParameters& parameters, document::OperationContext& context) {
  std::string pattern = parameters.OptionalString("pattern").value_or("{n}");
  text::CheckPageNumberPattern(pattern, parameters.Name("pattern"));
  // Checked once for the characters the pattern itself holds; the numbers are digits.
  text::WinAnsiText(pattern, parameters.Name("pattern"));
  editing::TextStyle style;
  style.fontSize =
      static_cast<double>(parameters.Integer("fontSize", 12, 1, editing::kMaxFontSize));
  style.color = text::ParseColor(parameters.OptionalString("color").value_or("#000000"),
                                 parameters.Name("color"));
  style.position = text::ParseTextPosition(
      parameters.OptionalString("position").value_or("bottom-center"), parameters.Name("position"));
  long long start = parameters.Integer("start", 1, 0, 1'000'000'000);
  document::Rewrite rewrite =
      document::OpenRewrite(parameters, context, parameters.String("output"));
  std::vector<int> pages = document::DistinctPages(parameters, rewrite.input, context);

  // Numbers follow the pages' order in the document, however the range was written.
  std::sort(pages.begin(), pages.end());
  editing::PageTextPainter painter(*rewrite.input.pdf, style, context.limits.decoding,
                                   rewrite.input.label);
  long long total = start + static_cast<long long>(pages.size()) - 1;
  for (std::size_t i = 0; i < pages.size(); ++i) {
    std::string text = text::PageNumberText(pattern, start + static_cast<long long>(i), total);
    painter.Draw(rewrite.input.pages[static_cast<std::size_t>(pages[i] - 1)], pages[i], text,
                 text::WinAnsiText(text, parameters.Name("pattern")), rewrite.input.label);
  }
  document::WriteSetup setup;
  setup.breaksPdfa = [&style](const document::PdfaClaim& claim) {
    return editing::PdfaLossOfText(style, claim);
  };
  return document::FinishRewrite(rewrite, context, setup);
}

}  // namespace pdf::ops
