#include "processors/pdf/text/numbered_path.h"

#include <gtest/gtest.h>

#include "processors/pdf/text/pdf_error.h"

namespace pdf::text {

namespace {

TEST(NumberedPath, ReplacesThePlaceholder) {
  EXPECT_EQ(NumberedPath("out/page-%d.png", 12), "out/page-12.png");
  EXPECT_EQ(NumberedPath("%d", 1), "1");
}

TEST(CheckNumberedPattern, AcceptsOnePlaceholderAndNothingElse) {
  struct Case {
    const char* pattern;
    bool accepted;
  };
  const Case cases[] = {{"p-%d.pdf", true}, {"%d", true},           {"p.pdf", false},
                        {"%d-%d", false},   {"100%-%d.pdf", false}, {"p-%s.pdf", false},
                        {"", false}};
  for (const Case& c : cases) {
    bool accepted = true;
    try {
      CheckNumberedPattern(c.pattern, "output");
    } catch (const PdfError&) {
      accepted = false;
    }
    EXPECT_EQ(accepted, c.accepted) << c.pattern;
  }
}

}  // namespace

}  // namespace pdf::text
