#include "processors/pdf/text/page_ranges.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <qpdf/QUtil.hh>

#include "processors/pdf/text/pdf_error.h"

namespace pdf::text {

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
    EXPECT_THAT(ParsePageRanges(c.text, 5, "pages", 1000), ElementsAreArray(c.pages)) << c.text;
}

TEST(ParsePageRanges, RefusesMalformedAndOutOfBoundsRangesNamingTheParameter) {
  for (const char* text : {"", "0", "6", "r6", "a", "1,,2", "1-", "-2", "1-3x"}) {
    try {
      ParsePageRanges(text, 5, "input[2].pages", 1000);
      ADD_FAILURE() << "accepted \"" << text << "\"";
    } catch (const PdfError& e) {
      EXPECT_THAT(e.what(), HasSubstr("parameter \"input[2].pages\": \"" + std::string(text) +
                                      "\" is not a page range of a document with 5 pages"));
    }
  }
}

// qpdf's own parser is the reference for the syntax: every text either both accept with the
// same pages, or both refuse; only a selection that qpdf leaves empty is refused here.
TEST(ParsePageRanges, AgreesWithQpdf) {
  const char* const texts[] = {
      "1",      "7",       "1-7",    "7-1",   "z",     "r1",      "r7",       "r3-r1",
      "z-1",    "1-z",     "2,2,2",  "1-3,5", "5,1-3", "1-z:odd", "1-z:even", "z-1:odd",
      "3:even", "1,2:odd", "1:even", "z:even", "r2,r2",  "1-1",   "z-z",   "0",       "8",        "r8",
      "r0",     "1-8",     "",       ",",     "1,",    ",1",      "1-",       "-1",
      "1--2",   "1-2-3",   "zz",     "z1",    "1z",    "rz",      "r",        "1:odd:even",
      ":odd",   "1:od",    "1:oddx", "1 ",    " 1",    "1-3,x",   "1,,2",     "r1-z,1-r1"};
  for (const char* text : texts) {
    std::vector<int> expected;
    bool qpdfAccepts = true;
    try {
      expected = QUtil::parse_numrange(text, 7);
    } catch (const std::exception&) {
      qpdfAccepts = false;
    }
    try {
      std::vector<int> pages = ParsePageRanges(text, 7, "pages", 1000);
      EXPECT_TRUE(qpdfAccepts) << "accepted \"" << text << "\", which qpdf refuses";
      EXPECT_EQ(pages, expected) << text;
    } catch (const PdfError& e) {
      EXPECT_FALSE(qpdfAccepts && !expected.empty()) << "refused \"" << text << "\": " << e.what();
    }
  }
}

TEST(ParsePageRanges, RefusesASelectionOfNoPage) {
  for (const char* text : {"3:even", "z:even", "r1:even"}) {
    try {
      ParsePageRanges(text, 7, "pages", 1000);
      ADD_FAILURE() << "accepted " << text;
    } catch (const PdfError& e) {
      EXPECT_EQ(std::string(e.what()), "parameter \"pages\": \"" + std::string(text) +
                                           "\" selects no page");
    }
  }
}

TEST(ParsePageRanges, RefusesMoreThanTheLimitBeforeBuildingTheList) {
  std::string repeated;
  for (int i = 0; i < 100000; ++i)
    repeated += i == 0 ? "1-z" : ",1-z";
  struct Case {
    std::string text;
    long long limit;
    bool accepted;
  };
  const Case cases[] = {
      {"1-z", 10000, true},          {"1-z", 9999, false},     {"1-z:odd", 5000, true},
      {"1-z:odd", 4999, false},      {"1-z,1-z", 20000, true}, {"z-1,1-z:even", 10000, true},
      {"z-1,1-z:even", 9999, false}, {repeated, 10000, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 20) + " within " + std::to_string(c.limit));
    if (c.accepted) {
      EXPECT_EQ(static_cast<long long>(ParsePageRanges(c.text, 10000, "pages", c.limit).size()),
                c.limit);
      continue;
    }
    try {
      ParsePageRanges(c.text, 10000, "pages", c.limit);
      ADD_FAILURE() << "accepted";
    } catch (const PdfError& e) {
      EXPECT_THAT(e.what(), HasSubstr("selects more than " + std::to_string(c.limit) +
                                      " pages, the most this run may handle (VTPS_PDF_MAX_PAGES)"));
    }
  }
}

TEST(ParsePageRanges, RefusesAnyRangeOfADocumentWithoutPages) {
  EXPECT_THROW(ParsePageRanges("1", 0, "pages", 1000), PdfError);
}

TEST(AllPages, CountsFromOne) {
  EXPECT_THAT(AllPages(3), ElementsAreArray({1, 2, 3}));
  EXPECT_TRUE(AllPages(0).empty());
}

TEST(WithoutRepeats, KeepsTheFirstAppearance) {
  EXPECT_THAT(WithoutRepeats({3, 1, 3, 2, 1}), ElementsAreArray({3, 1, 2}));
}

}  // namespace

}  // namespace pdf::text
