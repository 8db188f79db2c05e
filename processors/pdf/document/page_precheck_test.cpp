#include "processors/pdf/document/page_precheck.h"

#include <gtest/gtest.h>

#include <string>

namespace pdf::document {

namespace {

// The prefilter may answer true for content without an inline image (the full parse then
// decides), but never false for content with one.
TEST(MayHoldInlineImage, FindsTheOperatorWhereverATokenMayStand) {
  using namespace std::string_literals;
  struct Case {
    std::string content;
    bool expected;
  } cases[] = {
      {"q 1 0 0 1 0 0 cm BI /W 4 /H 4 /BPC 8 /CS /G ID xxxx EI Q", true},
      {"BI /W 1", true},              // at the start
      {"q\nBI\n/W 1", true},          // line breaks
      {"(text) Tj\rBI\f/W 1", true},  // carriage return, form feed
      {"(a)BI/W 1", true},            // delimiters on both sides
      {"[1]BI<00>", true},
      {"%comment\nBI", true},  // at the end
      {"1 0\0BI\0"s, true},    // NUL is white space
      {"q\vBI\v/W 1", true},   // and, to qpdf, the vertical tab
      {"BT /F1 12 Tf (OBI) Tj ET", false},
      {"BT /F1 12 Tf (BIG) Tj ET", false},
      {"/BIsomething gs", false},
      {"0 0 m 1 1 l S", false},
      {"", false},
      {"B", false},
      {"ABIC BIX XBI", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MayHoldInlineImage(c.content), c.expected) << c.content;
}

}  // namespace

}  // namespace pdf::document
