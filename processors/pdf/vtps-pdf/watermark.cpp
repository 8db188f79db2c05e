// PdfWatermark: a line of text written over (or under) chosen pages, turned, coloured and
// see-through as asked.
#include "processors/pdf/document/operation_context.h"
#include "processors/pdf/editing/page_text_painter.h"
#include "processors/pdf/run/job_parameters.h"
#include "processors/pdf/text/pdf_error.h"
#include "processors/pdf/text/text_line_layout.h"

namespace pdf::ops {

namespace {

// The longest watermark text, in bytes.
constexpr std::size_t kMaxWatermarkText = 1000;

}  // namespace

KQ_TDict PdfWatermark(const run::JobParameters& parameters, document::OperationContext& context) {
  std::string text = parameters.String("text");
  if (text.empty() || text.size() > kMaxWatermarkText)
    throw PdfError("parameter \"" + parameters.Name("text") + "\" must hold 1 to " +
                   std::to_string(kMaxWatermarkText) + " bytes");
  std::string encoded = text::WinAnsiText(text, parameters.Name("text"));
  editing::TextStyle style;
  style.fontSize =
      static_cast<double>(parameters.Integer("fontSize", 48, 1, editing::kMaxFontSize));
  style.angle = static_cast<double>(parameters.Integer("angle", 45, -360, 360));
  style.opacity = static_cast<double>(parameters.Integer("opacity", 30, 0, 100)) / 100;
  style.color = text::ParseColor(parameters.OptionalString("color").value_or("#808080"),
                                 parameters.Name("color"));
  style.position = text::ParseTextPosition(parameters.OptionalString("position").value_or("center"),
                                           parameters.Name("position"));
  style.under = parameters.Bool("under", false);
  document::Rewrite rewrite =
      document::OpenRewrite(parameters, context, parameters.String("output"));
  std::vector<int> pages = document::DistinctPages(parameters, rewrite.input, context);

  editing::PageTextPainter painter(*rewrite.input.pdf, style, context.limits.decoding,
                                   rewrite.input.label);
  for (int number : pages)
    painter.Draw(rewrite.input.pages[static_cast<std::size_t>(number - 1)], number, text, encoded,
                 rewrite.input.label);
  document::WriteSetup setup;
  setup.breaksPdfa = [&style](const document::PdfaClaim& claim) {
    return editing::PdfaLossOfText(style, claim);
  };
  return document::FinishRewrite(rewrite, context, setup);
}

}  // namespace pdf::ops
