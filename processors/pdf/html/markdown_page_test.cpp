#include "processors/pdf/html/markdown_page.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace pdf::html {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

TEST(MarkdownPage, CommonMarkWithoutRawHtmlOrUnsafeLinks) {
  std::string page = MarkdownPage(
      "# Title\n\n- *one*\n- two\n\n<script>alert(1)</script>\n\n[x](javascript:alert(1))\n\n"
      "![pic](img/pic.png)\n",
      "Notes <1>", std::nullopt);
  EXPECT_THAT(page, HasSubstr("<h1>Title</h1>"));
  EXPECT_THAT(page, HasSubstr("<li><em>one</em></li>"));
  EXPECT_THAT(page, HasSubstr("<img src=\"img/pic.png\""));
  EXPECT_THAT(page, Not(HasSubstr("<script>")));
  EXPECT_THAT(page, Not(HasSubstr("javascript:")));
  EXPECT_THAT(page, HasSubstr("<title>Notes &lt;1&gt;</title>"));
  EXPECT_THAT(page, HasSubstr("<style>"));
}

TEST(MarkdownPage, TheCallersStylesheetReplacesTheDefault) {
  std::string page = MarkdownPage("text", "t", std::string("css/print\".css"));
  EXPECT_THAT(page, HasSubstr("<link rel=\"stylesheet\" href=\"css/print&quot;.css\">"));
  EXPECT_THAT(page, Not(HasSubstr("<style>")));
}

}  // namespace
}  // namespace pdf::html
