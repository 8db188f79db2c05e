#include "processors/pdf/run/page_budget.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "processors/pdf/text/pdf_error.h"

namespace pdf::run {

namespace {

TEST(MaxPagesSetting, ReadsAPositiveWholeNumberOrGivesTheDefault) {
  EXPECT_EQ(MaxPagesSetting(std::nullopt), 10000);
  EXPECT_EQ(MaxPagesSetting(""), 10000);
  EXPECT_EQ(MaxPagesSetting("25"), 25);
  for (const char* bad : {"0", "-1", "ten", "5 ", "1e3", "2000000000"})
    EXPECT_THROW(MaxPagesSetting(std::string(bad)), PdfError) << bad;
}

TEST(PageBudget, ChargesReadAndWrittenPagesSeparately) {
  PageBudget budget(10);
  budget.Read(6, "a.pdf");
  budget.Write(10, "out.pdf");
  budget.Read(4, "b.pdf");
  EXPECT_EQ(budget.ReadRemaining(), 0);
  try {
    budget.Read(1, "c.pdf");
    ADD_FAILURE() << "read past the limit";
  } catch (const PdfError& e) {
    EXPECT_THAT(e.what(), ::testing::HasSubstr("\"c.pdf\""));
    EXPECT_THAT(e.what(), ::testing::HasSubstr("VTPS_PDF_MAX_PAGES"));
  }
  EXPECT_THROW(budget.Write(1, "out.pdf"), PdfError);
}

}  // namespace

}  // namespace pdf::run
