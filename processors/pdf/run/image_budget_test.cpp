#include "processors/pdf/run/image_budget.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "processors/pdf/text/pdf_error.h"

namespace pdf::run {

namespace {

TEST(ImageBudget, ChargesUntilTheLimitAndNamesIt) {
  EXPECT_EQ(MaxImageBytesSetting(std::nullopt), 1LL << 30);
  EXPECT_EQ(MaxImageBytesSetting("2048"), 2048);
  EXPECT_THROW(MaxImageBytesSetting("1023"), PdfError);
  ImageBudget budget(MaxImageBytesSetting("2048"));
  budget.Charge(2000, "file \"a.png\"");
  try {
    budget.Charge(49, "file \"b.png\"");
    ADD_FAILURE() << "passed the limit";
  } catch (const PdfError& e) {
    EXPECT_STREQ(e.what(),
                 "file \"b.png\": the run's images would decode to more than 2048 bytes "
                 "(VTPS_PDF_MAX_IMAGE_BYTES)");
  }
  EXPECT_EQ(budget.Decoded(), 2000);
  budget.Charge(48, "file \"c.png\"");
  EXPECT_EQ(budget.Decoded(), 2048);
}

}  // namespace

}  // namespace pdf::run
