#include "processors/pdf/html/print_options.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "processors/pdf/text/pdf_error.h"

namespace pdf::html {
namespace {

using ::testing::DoubleNear;
using ::testing::HasSubstr;

std::string Refusal(const KQ_TDict& job) {
  try {
    ReadPrintOptions(run::JobParameters(job), 100);
  } catch (const PdfError& e) {
    return e.what();
  }
  return "(accepted)";
}

TEST(PrintOptions, RefusesValuesThePrintWouldMisread) {
  struct Case {
    const char* key;
    const char* value;
    const char* refusal;  // "" when accepted
  } cases[] = {
      {"paper", "a4", ""},
      {"paper", "B9", "must be A3, A4"},
      {"paperWidth", "8.5in", ""},
      {"paperWidth", "5mm", "from 10 mm to 5 m"},
      {"paperWidth", "-3cm", "must be a length"},
      {"paperWidth", "10 parsecs", "must be a length"},
      {"paperWidth", "nan", "must be a length"},
      {"margin", "0", ""},
      {"margin", "150mm", "no room"},
      {"marginTop", "2cm", ""},
      {"scale", "0.5", ""},
      {"scale", "3", "from 0.1 to 2"},
      {"scale", "1x", "from 0.1 to 2"},
      {"pages", "1-3, 5", ""},
      {"pages", "1--3", "must list pages"},
      {"waitFor", "networkIdle", ""},
      {"waitFor", "forever", "\"load\" or \"networkIdle\""},
      {"delay", "99999999", "delay"},
      {"media", "tv", "\"print\" or \"screen\""},
      {"waitForExpression", "", "is empty"},
      {"landscape", "maybe", "landscape"},
  };
  for (const Case& test : cases) {
    KQ_TDict job;
    job[test.key] = test.value;
    std::string refusal = Refusal(job);
    if (*test.refusal == '\0')
      EXPECT_EQ(refusal, "(accepted)") << test.key << "=" << test.value;
    else
      EXPECT_THAT(refusal, HasSubstr(test.refusal)) << test.key << "=" << test.value;
  }
}

TEST(PrintOptions, LengthsBecomeInchesAndTheEngineReadsWhatWasSent) {
  KQ_TDict job;
  job["paperWidth"] = "210mm";
  job["paperHeight"] = "11in";
  job["margin"] = "72pt";
  job["marginLeft"] = "2.54cm";
  job["footerHtml"] = "{page}/{pages}";
  job["waitForExpression"] = "window.done";
  job["delay"] = "250";
  job["media"] = "screen";
  PrintOptions sent = ReadPrintOptions(run::JobParameters(job), 10);
  EXPECT_THAT(sent.print["paperWidth"].get<double>(), DoubleNear(8.2677, 1e-3));
  EXPECT_THAT(sent.print["paperHeight"].get<double>(), DoubleNear(11, 1e-9));
  EXPECT_THAT(sent.print["marginTop"].get<double>(), DoubleNear(1, 1e-9));
  EXPECT_THAT(sent.print["marginLeft"].get<double>(), DoubleNear(1, 1e-9));
  EXPECT_EQ(sent.print["pageRanges"], "1-11");  // one past the limit shows a page too many
  EXPECT_THAT(sent.print["footerTemplate"].get<std::string>(),
              HasSubstr("<span class=\"pageNumber\"></span>/<span class=\"totalPages\">"));
  office::EngineMessage request = PrintRequest(sent, "file:///r/a.html", 1000, 10);
  EXPECT_EQ(request.Get("maxPages"), "10");
  PrintOptions read = OptionsOfPrintRequest(*office::EngineMessage::Decode(request.Encode()));
  EXPECT_EQ(read.print, sent.print);
  EXPECT_EQ(read.waits.expression, "window.done");
  EXPECT_EQ(read.waits.delay.count(), 250);
  EXPECT_EQ(read.media, "screen");
  EXPECT_FALSE(read.waits.networkIdle);
}

TEST(PrintOptions, ChosenPagesAreNotCheckedAgainstTheLimitBeforePrinting) {
  KQ_TDict job;
  job["pages"] = "2-3";
  PrintOptions options = ReadPrintOptions(run::JobParameters(job), 10);
  EXPECT_EQ(options.print["pageRanges"], "2-3");
  EXPECT_EQ(PrintRequest(options, "file:///a.html", 1, 10).Get("maxPages"), std::nullopt);
}

}  // namespace
}  // namespace pdf::html
