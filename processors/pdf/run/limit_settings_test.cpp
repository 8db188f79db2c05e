#include "processors/pdf/run/limit_settings.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "processors/pdf/text/pdf_error.h"

namespace pdf::run {

namespace {

TEST(ReadLimitSettings, DefaultsWhenUnsetOrEmpty) {
  LimitSettings settings = ReadLimitSettings(std::nullopt, std::string(), std::nullopt);
  EXPECT_EQ(settings.maxStreamBytes, 256LL << 20);
  EXPECT_EQ(settings.maxMemoryMb, 1024);
  EXPECT_EQ(settings.maxOutputBytes, 1LL << 30);
  settings = ReadLimitSettings("4096", "64", "1024");
  EXPECT_EQ(settings.maxStreamBytes, 4096);
  EXPECT_EQ(settings.maxMemoryMb, 64);
  EXPECT_EQ(settings.maxOutputBytes, 1024);
}

TEST(ReadLimitSettings, RefusesUnusableValuesNamingTheVariable) {
  struct Case {
    std::optional<std::string> stream, memory, output;
    const char* variable;
  };
  const Case cases[] = {
      {"lots", std::nullopt, std::nullopt, "VTPS_PDF_MAX_STREAM_BYTES is \"lots\""},
      {"1023", std::nullopt, std::nullopt, "VTPS_PDF_MAX_STREAM_BYTES"},
      {std::nullopt, "63", std::nullopt, "VTPS_PDF_MAX_MEMORY_MB is \"63\""},
      {std::nullopt, "-1", std::nullopt, "VTPS_PDF_MAX_MEMORY_MB"},
      {std::nullopt, std::nullopt, " 5000", "VTPS_PDF_MAX_OUTPUT_BYTES"},
      {std::nullopt, std::nullopt, "99999999999999999999999", "VTPS_PDF_MAX_OUTPUT_BYTES"},
  };
  for (const Case& c : cases) {
    try {
      ReadLimitSettings(c.stream, c.memory, c.output);
      ADD_FAILURE() << "accepted " << c.variable;
    } catch (const PdfError& e) {
      EXPECT_THAT(e.what(), ::testing::HasSubstr(c.variable));
      EXPECT_THAT(e.what(), ::testing::HasSubstr("it must be a whole number from"));
    }
  }
}

TEST(ReadRunBudgets, DefaultsAndRefusesValuesNamingTheVariable) {
  LimitSettings settings;
  ReadRunBudgets(std::nullopt, std::string(), std::nullopt, settings);
  EXPECT_EQ(settings.maxDecodedBytes, 1LL << 30);
  EXPECT_EQ(settings.maxPageOperators, 2'000'000);
  EXPECT_EQ(settings.maxRunOperators, 20'000'000);
  ReadRunBudgets("2048", "100", "500", settings);
  EXPECT_EQ(settings.maxDecodedBytes, 2048);
  EXPECT_EQ(settings.maxPageOperators, 100);
  EXPECT_EQ(settings.maxRunOperators, 500);
  EXPECT_THROW(ReadRunBudgets("1023", std::nullopt, std::nullopt, settings), PdfError);
  try {
    ReadRunBudgets(std::nullopt, "99", std::nullopt, settings);
    ADD_FAILURE() << "accepted 99 operators a page";
  } catch (const PdfError& e) {
    EXPECT_THAT(e.what(), ::testing::HasSubstr("VTPS_PDF_MAX_PAGE_OPERATORS is \"99\""));
  }
  EXPECT_THROW(ReadRunBudgets(std::nullopt, std::nullopt, "x", settings), PdfError);
}

}  // namespace

}  // namespace pdf::run
