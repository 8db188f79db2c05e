#include "processors/pdf/text/pdf_number.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace pdf::text {

namespace {

TEST(PdfNumber, WritesPlainDecimalsWithoutTrailingZerosOrExponent) {
  struct Case {
    double value;
    int decimals;
    const char* expected;
  };
  const Case cases[] = {
      {612, 4, "612"},
      {595.2756, 2, "595.28"},
      {595.275, 2, "595.28"},  // a half that binary holds just below is still rounded up
      {0.5, 0, "1"},
      {-0.00001, 4, "0"},
      {-0.5, 4, "-0.5"},
      {1e-21, 4, "0"},
      {1e20, 4, "1000000000"},  // beyond what readers take: the bound
      {-1e9, 0, "-1000000000"},
      {0.12345, 3, "0.123"},
      {10, 4, "10"},
      {100, 0, "100"},
      {std::numeric_limits<double>::infinity(), 4, "0"},
      {-std::numeric_limits<double>::infinity(), 2, "0"},
      {std::nan(""), 4, "0"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(PdfNumber(c.value, c.decimals), c.expected) << c.value << " to " << c.decimals;
}

TEST(ContentNumbersBounded, FindsNumbersReadersCannotTake) {
  EXPECT_TRUE(ContentNumbersBounded("q 1 0 0 1 -612.5 .25 cm /Fx1 Do Q"));
  EXPECT_TRUE(ContentNumbersBounded("(100000000000000000000000) Tj % 1e99\n1000000000 0 m"));
  EXPECT_FALSE(ContentNumbersBounded("q 100000000000000000000000 0 0 1 0 0 cm Q"));
  EXPECT_FALSE(ContentNumbersBounded("q 1 0 0 1 -1000000000.5 0 cm Q"));
  EXPECT_FALSE(ContentNumbersBounded("[1 2]-inf"));
}

}  // namespace

}  // namespace pdf::text
