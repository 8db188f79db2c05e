#include "processors/pdf/run/output_budget.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "processors/pdf/text/pdf_error.h"
#include "tests/support/test_support.h"

namespace pdf::run {

namespace {

using ::testing::HasSubstr;

TEST(OutputBudget, ChargesEveryOutputOfTheRunTogether) {
  OutputBudget budget(100);
  budget.Charge(60, "a.pdf");
  budget.Charge(40, "b.pdf");
  EXPECT_EQ(budget.Written(), 100);
  try {
    budget.Charge(1, "c.pdf");
    ADD_FAILURE() << "passed the budget";
  } catch (const PdfError& e) {
    EXPECT_THAT(e.what(), HasSubstr("output \"c.pdf\": the run's outputs would pass 100 bytes "
                                    "(VTPS_PDF_MAX_OUTPUT_BYTES)"));
  }
  EXPECT_EQ(budget.Written(), 100);
}

TEST(BudgetedFile, WritesWhatTheBudgetAllowsAndRefusesTheRest) {
  vtps_test::TempDir dir;
  OutputBudget budget(10);
  BudgetedFile file(std::fopen(dir.File("out").c_str(), "wb"), "out.pdf", budget);
  const unsigned char bytes[] = "0123456789ABC";
  file.Write(bytes, 8);
  EXPECT_THROW(file.Write(bytes + 8, 5), PdfError);
  file.Close();
  EXPECT_EQ(vtps_test::ReadFile(dir.File("out")), "01234567");
  EXPECT_THROW(BudgetedFile(std::fopen(dir.File("none/out").c_str(), "wb"), "none/out.pdf", budget),
               PdfError);
}

TEST(BudgetedFile, ReportsAFullDiskNamingTheOutput) {
  OutputBudget budget(1 << 20);
  BudgetedFile file(std::fopen("/dev/full", "wb"), "full.pdf", budget);
  std::string block(1 << 16, 'x');
  try {
    for (int i = 0; i < 8; ++i)
      file.Write(reinterpret_cast<const unsigned char*>(block.data()), block.size());
    file.Close();
    ADD_FAILURE() << "a full disk went unnoticed";
  } catch (const PdfError& e) {
    EXPECT_THAT(e.what(), HasSubstr("output \"full.pdf\" cannot be written"));
  }
}

}  // namespace

}  // namespace pdf::run
