#include "processors/pdf/text/content_scan.h"

#include <gtest/gtest.h>

namespace pdf::text {

namespace {

TEST(ScanContent, CountsOperatorsAndTheNamesDrawn) {
  ContentScan scan = ScanContent(
      "q 1 0 0 1 5 5 cm /Fm1 Do Q % a comment Do\n/Fm1 Do /Im2 Do (a string /X Do) Tj "
      "[/Y 1 (Do)] TJ BI /W 2 /H 1 /CS /G /BPC 8 ID \x01\x02 EI Q");
  // q cm Do Q Do Do Tj TJ BI ID EI Q
  EXPECT_EQ(scan.operators, 12);
  EXPECT_EQ(scan.stringBytes, 20);  // "(a string /X Do)" and "(Do)" with their parentheses
  EXPECT_EQ(scan.drawn.size(), 2u);
  EXPECT_EQ(scan.drawn["/Fm1"], 2);
  EXPECT_EQ(scan.drawn["/Im2"], 1);
  EXPECT_EQ(scan.unmatchedRestores, 1);
  EXPECT_EQ(scan.openSaves, 0);
  EXPECT_EQ(scan.unfinished, "");
}

// How each content ends, and the text that finishes it.
TEST(ScanContent, TellsWhatTheContentLeavesOpen) {
  struct Case {
    const char* content;
    long long unmatched;
    long long open;
    const char* unfinished;
    const char* suffix;
  };
  const Case cases[] = {
      {"q q Q", 0, 1, "", "\n\nQ\nQ\n"},
      {"Q Q q", 2, 1, "", "\n\nQ\nQ\n"},
      {"BT /F1 1 Tf (left (open", 0, 0, "))", "\n))\nET\nQ\n"},
      {"(escaped \\", 0, 0, " )", "\n )\nQ\n"},
      {"<41 42", 0, 0, ">", "\n>\nQ\n"},
      {"/P <</MCID 0>> BDC [ (a", 0, 0, ") ]", "\n) ]\nEMC\nQ\n"},
      {"<< /A [ 1", 0, 0, " ] >>", "\n ] >>\nQ\n"},
      {"BI /W 1 /H 1 ID xyzEIx", 0, 0, "\nEI", "\n\nEI\nQ\n"},
      {"BX /P BMC q", 0, 1, "", "\n\nEMC\nEX\nQ\nQ\n"},
      {"% only a comment", 0, 0, "", "\n\nQ\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content);
    ContentScan scan = ScanContent(c.content);
    EXPECT_EQ(scan.unmatchedRestores, c.unmatched);
    EXPECT_EQ(scan.openSaves, c.open);
    EXPECT_EQ(scan.unfinished, c.unfinished);
    EXPECT_EQ(IsolatingSuffix(scan), c.suffix);
    std::string prefix;
    for (long long i = 0; i <= c.unmatched; ++i)
      prefix += "q\n";
    EXPECT_EQ(IsolatingPrefix(scan), prefix);
  }
}

// Whatever a page holds, prefix + page + suffix scans as closed, balanced content.
TEST(ScanContent, IsolatedContentEndsClosedAndBalanced) {
  const char* pages[] = {"Q Q 0 0 0 0 re W n",  "(open",      "[ << /K (x\\", "BT 3 Tr q",
                         "BI /W 1 ID \xff\xfe", "Q <</A [1 2"};
  for (const char* page : pages) {
    SCOPED_TRACE(page);
    ContentScan scan = ScanContent(page);
    ContentScan whole = ScanContent(IsolatingPrefix(scan) + page + IsolatingSuffix(scan));
    EXPECT_EQ(whole.unmatchedRestores, 0);
    EXPECT_EQ(whole.openSaves, 0);
    EXPECT_FALSE(whole.openText);
    EXPECT_EQ(whole.openMarked, 0);
    EXPECT_EQ(whole.unfinished, "");
  }
}

}  // namespace

}  // namespace pdf::text
