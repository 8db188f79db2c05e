#include "processors/pdf/page_ranges.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "processors/pdf/pdf_error.h"

namespace {

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

TEST(ParsePageRanges, SelectsThePagesWritten) {
  struct Case {
    const char* text;
    std::vector<int> pages;
  };
  const Case cases[] = {
      {"1-3,5", {1, 2, 3, 5}}, {"z", {5}},           {"r1", {5}},
      {"r2-z", {4, 5}},        {"3-1", {3, 2, 1}},   {"1-z:odd", {1, 3, 5}},
      {"2,2", {2, 2}},         {"1-z:even", {2, 4}},
  };
  for (const Case& c : cases)
    EXPECT_THAT(ParsePageRanges(c.text, 5, "pages"), ElementsAreArray(c.pages)) << c.text;
}

TEST(ParsePageRanges, RefusesMalformedAndOutOfBoundsRangesNamingTheParameter) {
  for (const char* text : {"", "0", "6", "r6", "a", "1,,2", "1-", "-2", "1-3x"}) {
    try {
      ParsePageRanges(text, 5, "input[2].pages");
      ADD_FAILURE() << "accepted \"" << text << "\"";
    } catch (const PdfError& e) {
      EXPECT_THAT(e.what(), HasSubstr("parameter \"input[2].pages\": \"" + std::string(text) +
                                      "\" is not a page range of a document with 5 pages"));
    }
  }
}

TEST(ParsePageRanges, RefusesAnyRangeOfADocumentWithoutPages) {
  EXPECT_THROW(ParsePageRanges("1", 0, "pages"), PdfError);
}

TEST(AllPages, CountsFromOne) {
  EXPECT_THAT(AllPages(3), ElementsAreArray({1, 2, 3}));
  EXPECT_TRUE(AllPages(0).empty());
}

TEST(WithoutRepeats, KeepsTheFirstAppearance) {
  EXPECT_THAT(WithoutRepeats({3, 1, 3, 2, 1}), ElementsAreArray({3, 1, 2}));
}

}  // namespace
