#include "processors/pdf/office/conversion_options.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "processors/pdf/text/pdf_error.h"

namespace pdf::office {
namespace {

using ::testing::HasSubstr;

std::string Refusal(const KQ_TDict& job) {
  try {
    ReadConversionOptions(run::JobParameters(job));
  } catch (const PdfError& e) {
    return e.what();
  }
  return "(accepted)";
}

TEST(ConversionOptions, RefusesValuesTheExportWouldMisread) {
  struct Case {
    const char* key;
    const char* value;
    const char* refusal;  // "" when accepted
  } cases[] = {
      {"pages", "1-3,5,8-", ""},
      {"pages", "2", ""},
      {"pages", " 1 , 3 ", ""},
      {"pages", "", "must list pages"},
      {"pages", "-3", "must list pages"},
      {"pages", "1--3", "must list pages"},
      {"pages", "1,,3", "must list pages"},
      {"pages", "a", "must list pages"},
      {"pages", "1;rm", "must list pages"},
      {"pdfa", "2b", ""},
      {"pdfa", "2a", "must be \"1b\", \"2b\" or \"3b\""},
      {"pdfa", "4", "must be"},
      {"maxImageResolution", "300", ""},
      {"maxImageResolution", "10", "maxImageResolution"},
      {"imageQuality", "101", "imageQuality"},
      {"exportBookmarks", "yes", "exportBookmarks"},
      {"landscape", "true", ""},
      {"landscape", "sideways", "landscape"},
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

TEST(ConversionOptions, TheEngineReadsWhatTheProcessorSent) {
  KQ_TDict job;
  job["pages"] = "2-3";
  job["pdfa"] = "1b";
  job["exportFormFields"] = "false";
  job["exportBookmarks"] = "true";
  job["maxImageResolution"] = "150";
  job["imageQuality"] = "80";
  job["password"] = "se=cret\n%";
  job["landscape"] = "true";
  ConversionOptions sent = ReadConversionOptions(run::JobParameters(job));
  std::optional<EngineMessage> request =
      EngineMessage::Decode(ConversionRequest(sent, "docx", 1000).Encode());
  ASSERT_TRUE(request);
  EXPECT_EQ(request->Get("format"), "docx");
  EXPECT_EQ(request->Get("maxOutputBytes"), "1000");
  ConversionOptions received = OptionsOfRequest(*request);
  EXPECT_EQ(received.pages, sent.pages);
  EXPECT_EQ(received.pdfa, sent.pdfa);
  EXPECT_EQ(received.exportFormFields, false);
  EXPECT_EQ(received.exportBookmarks, true);
  EXPECT_EQ(received.maxImageResolution, 150);
  EXPECT_EQ(received.imageQuality, 80);
  EXPECT_EQ(received.password, "se=cret\n%");
  EXPECT_TRUE(received.landscape);
}

TEST(ConversionOptions, TheEngineDropsValuesNoProcessorSends) {
  EngineMessage request;
  request.Add("pages", "1;2");
  request.Add("pdfa", "9z");
  request.Add("exportBookmarks", "true");
  request.Add("maxImageResolution", "99999999999999999999");
  request.Add("imageQuality", "0");
  ConversionOptions options = OptionsOfRequest(request);
  EXPECT_FALSE(options.pages);
  EXPECT_FALSE(options.pdfa);
  EXPECT_FALSE(options.exportBookmarks);
  EXPECT_FALSE(options.maxImageResolution);
  EXPECT_FALSE(options.imageQuality);
  EXPECT_EQ(PdfFilterData(options), "");
}

TEST(ConversionOptions, FilterDataIsTheJsonLibreOfficeReads) {
  ConversionOptions options;
  options.pages = "1-2";
  options.pdfa = "3b";
  options.exportFormFields = true;
  options.maxImageResolution = 200;
  nlohmann::json data = nlohmann::json::parse(PdfFilterData(options));
  EXPECT_EQ(data["PageRange"], (nlohmann::json{{"type", "string"}, {"value", "1-2"}}));
  EXPECT_EQ(data["SelectPdfVersion"], (nlohmann::json{{"type", "long"}, {"value", "3"}}));
  EXPECT_EQ(data["ExportFormFields"]["value"], "true");
  EXPECT_EQ(data["ReduceImageResolution"]["value"], "true");
  EXPECT_EQ(data["MaxImageResolution"]["value"], "200");
  EXPECT_FALSE(data.contains("Quality"));
}

}  // namespace
}  // namespace pdf::office
