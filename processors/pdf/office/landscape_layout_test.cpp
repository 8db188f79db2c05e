#include "processors/pdf/office/landscape_layout.h"

#include <gtest/gtest.h>

namespace pdf::office {
namespace {

TEST(LandscapeLayout, TurnsPortraitLayoutsAndLeavesTheRest) {
  struct Case {
    const char* name;
    std::string before;
    std::string after;
    int turned;
  } cases[] = {
      {"letter, as Writer saves it",
       R"(<style:page-layout-properties fo:page-width="8.5in" fo:page-height="11in" )"
       R"(style:num-format="1" style:print-orientation="portrait" fo:margin-top="0.7874in">)",
       R"(<style:page-layout-properties fo:page-width="11in" fo:page-height="8.5in" )"
       R"(style:num-format="1" style:print-orientation="landscape" fo:margin-top="0.7874in">)",
       1},
      {"no orientation: one is added",
       R"(<style:page-layout-properties fo:page-width="21cm" fo:page-height="297mm"/>)",
       R"(<style:page-layout-properties fo:page-width="297mm" fo:page-height="21cm" )"
       R"(style:print-orientation="landscape"/>)",
       1},
      {"already landscape",
       R"(<style:page-layout-properties fo:page-width="28cm" fo:page-height="15.75cm" )"
       R"(style:print-orientation="landscape"/>)",
       R"(<style:page-layout-properties fo:page-width="28cm" fo:page-height="15.75cm" )"
       R"(style:print-orientation="landscape"/>)",
       0},
      {"no size: the unstated paper, turned",
       R"(<style:page-layout-properties style:print-orientation="portrait" fo:margin-top="1in"/>)",
       R"(<style:page-layout-properties style:print-orientation="landscape" fo:margin-top="1in" )"
       R"(fo:page-width="11in" fo:page-height="8.5in"/>)",
       1},
      {"one length only", R"(<style:page-layout-properties fo:page-width="8.5in"/>)",
       R"(<style:page-layout-properties fo:page-width="8.5in"/>)", 0},
      {"a unit it does not know",
       R"(<style:page-layout-properties fo:page-width="8furlong" fo:page-height="11in"/>)",
       R"(<style:page-layout-properties fo:page-width="8furlong" fo:page-height="11in"/>)", 0},
      {"a longer name that only ends like the attribute",
       R"(<style:page-layout-properties loext:fo:page-width="1in" fo:page-width="2in" )"
       R"(fo:page-height="3in"/>)",
       R"(<style:page-layout-properties loext:fo:page-width="1in" fo:page-width="3in" )"
       R"(fo:page-height="2in" style:print-orientation="landscape"/>)",
       1},
      {"another element whose name starts alike",
       R"(<style:page-layout-properties-x fo:page-width="1in" fo:page-height="3in"/>)",
       R"(<style:page-layout-properties-x fo:page-width="1in" fo:page-height="3in"/>)", 0},
      {"a tag cut off", R"(<style:page-layout-properties fo:page-width="1in" fo:page-height=)",
       R"(<style:page-layout-properties fo:page-width="1in" fo:page-height=)", 0},
  };
  for (Case& test : cases) {
    std::string text = test.before;
    EXPECT_EQ(TurnPageLayoutsLandscape(text), test.turned) << test.name;
    EXPECT_EQ(text, test.after) << test.name;
  }
}

TEST(LandscapeLayout, TurnsEveryLayoutOfADocument) {
  // A presentation saves its slides' layout and its notes pages' layout; a spreadsheet one
  // per page style.
  std::string portrait =
      R"(<style:page-layout style:name="pm1"><style:page-layout-properties fo:page-width="8.5in" )"
      R"(fo:page-height="11in" style:print-orientation="portrait"/></style:page-layout>)";
  std::string document = "<office:document>" + portrait + "<x/>" + portrait + portrait +
                         "<style:page-layout-properties fo:page-width=\"28cm\" "
                         "fo:page-height=\"15.75cm\"/></office:document>";
  EXPECT_EQ(TurnPageLayoutsLandscape(document), 3);
  EXPECT_EQ(TurnPageLayoutsLandscape(document), 0);
  EXPECT_EQ(document.find("portrait"), std::string::npos);
}

}  // namespace
}  // namespace pdf::office
