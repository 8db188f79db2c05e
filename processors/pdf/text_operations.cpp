// The operations that write a line of text on pages: PdfWatermark and PdfPageNumbers.
#include <algorithm>

#include "processors/pdf/operations.h"
#include "processors/pdf/page_number_pattern.h"
#include "processors/pdf/page_ranges.h"
#include "processors/pdf/page_text.h"
#include "processors/pdf/pdf_error.h"

namespace {

// The longest watermark text, in bytes.
constexpr std::size_t kMaxWatermarkText = 1000;
constexpr long long kMaxFontSize = 1000;

// Writes `input` with the pages changed to the output, after charging its pages.
KQ_TDict WriteWithText(PdfFile& input, std::unique_ptr<OutputFile> output,
                       const std::string& outputName, OperationContext& context) {
  WritePdf(*input.pdf, *output, context.limits, input.label);
  output->Commit();
  KQ_TDict answer;
  answer["output"] = outputName;
  answer["pageCount"] = std::to_string(input.PageCount());
  return answer;
}

}  // namespace

KQ_TDict PdfWatermark(const JobParameters& parameters, OperationContext& context) {
  std::string text = parameters.String("text");
  if (text.empty() || text.size() > kMaxWatermarkText)
    throw PdfError("parameter \"" + parameters.Name("text") + "\" must hold 1 to " +
                   std::to_string(kMaxWatermarkText) + " bytes");
  std::string encoded = WinAnsiText(text, parameters.Name("text"));
  TextStyle style;
  style.fontSize = static_cast<double>(parameters.Integer("fontSize", 48, 1, kMaxFontSize));
  style.angle = static_cast<double>(parameters.Integer("angle", 45, -360, 360));
  style.opacity = static_cast<double>(parameters.Integer("opacity", 30, 0, 100)) / 100;
  style.color =
      ParseColor(parameters.OptionalString("color").value_or("#808080"), parameters.Name("color"));
  style.position = ParseTextPosition(parameters.OptionalString("position").value_or("center"),
                                     parameters.Name("position"));
  style.under = parameters.Bool("under", false);
  std::string outputName = parameters.String("output");
  std::unique_ptr<OutputFile> output =
      PrepareOutput(context, outputName, parameters.Name("output"));
  PdfFile input = OpenFileParameter(parameters, context);
  std::vector<int> pages = DistinctPages(parameters, input, context);
  context.budget.Write(input.PageCount(), outputName);

  PageTextPainter painter(*input.pdf, style);
  for (int number : pages)
    painter.Draw(input.pages[static_cast<std::size_t>(number - 1)], number, text, encoded,
                 input.label);
  return WriteWithText(input, std::move(output), outputName, context);
}

KQ_TDict PdfPageNumbers(const JobParameters& parameters, OperationContext& context) {
  std::string pattern = parameters.OptionalString("pattern").value_or("{n}");
  CheckPageNumberPattern(pattern, parameters.Name("pattern"));
  // Checked once for the characters the pattern itself holds; the numbers are digits.
  WinAnsiText(pattern, parameters.Name("pattern"));
  TextStyle style;
  style.fontSize = static_cast<double>(parameters.Integer("fontSize", 12, 1, kMaxFontSize));
  style.color =
      ParseColor(parameters.OptionalString("color").value_or("#000000"), parameters.Name("color"));
  style.position = ParseTextPosition(
      parameters.OptionalString("position").value_or("bottom-center"), parameters.Name("position"));
  long long start = parameters.Integer("start", 1, 0, 1'000'000'000);
  std::string outputName = parameters.String("output");
  std::unique_ptr<OutputFile> output =
      PrepareOutput(context, outputName, parameters.Name("output"));
  PdfFile input = OpenFileParameter(parameters, context);
  std::vector<int> pages = DistinctPages(parameters, input, context);
  context.budget.Write(input.PageCount(), outputName);

  // Numbers follow the pages' order in the document, however the range was written.
  std::sort(pages.begin(), pages.end());
  PageTextPainter painter(*input.pdf, style);
  long long total = start + static_cast<long long>(pages.size()) - 1;
  for (std::size_t i = 0; i < pages.size(); ++i) {
    std::string text = PageNumberText(pattern, start + static_cast<long long>(i), total);
    painter.Draw(input.pages[static_cast<std::size_t>(pages[i] - 1)], pages[i], text,
                 WinAnsiText(text, parameters.Name("pattern")), input.label);
  }
  return WriteWithText(input, std::move(output), outputName, context);
}
