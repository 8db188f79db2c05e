#include "processors/pdf/text/answer_text.h"

#include <gtest/gtest.h>

#include "mapping/dict_to_tree.h"
#include "platform/kqtypes/kq_dict.h"

namespace pdf::text {

namespace {

TEST(XmlSafeText, ReplacesTheControlCharactersXmlCannotCarry) {
  EXPECT_EQ(XmlSafeText(std::string("a\fb\x01"
                                    "c\0d",
                                    7)),
            "a b c d");
  EXPECT_EQ(XmlSafeText("tab\tline\nreturn\r"), "tab\tline\nreturn\r");
  EXPECT_EQ(XmlSafeText("caf\xc3\xa9"), "caf\xc3\xa9");
}

TEST(XmlSafeText, AnAnswerHoldingTheResultIsWritten) {
  KQ_TDict answer;
  answer["text"] = XmlSafeText("page\f\x0b\x1b");
  EXPECT_FALSE(DictToTree(answer).empty());
}

// Text from a caller: what a parser of the XML written would refuse, and why.
TEST(XmlUnfitReason, NamesWhatXmlCannotCarry) {
  struct Case {
    const char* text;
    const char* reason;  // nullptr: fit
  };
  const Case cases[] = {
      {"\xC3\x9C"
       "ber \xE2\x82\xAC \xF0\x9F\x93\x84",
       nullptr},
      {"a\xEF\xBF\xBF", "holds U+FFFF, which XML cannot carry"},
      {"a\xEF\xBF\xBE", "holds U+FFFE, which XML cannot carry"},
      {"a\xED\xA0\x80", "holds invalid UTF-8 at byte 2"},
      {"ab\xFF", "holds invalid UTF-8 at byte 3"},
      {"A\xC0\xAF", "holds invalid UTF-8 at byte 2"},
      {"a\xEF\xB7\x90", "holds U+FDD0, which is no character"},
      {"\xF4\x8F\xBF\xBF", "holds U+10FFFF, which is no character"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::optional<std::string> reason = XmlUnfitReason(c.text);
    if (c.reason == nullptr)
      EXPECT_FALSE(reason.has_value()) << *reason;
    else
      EXPECT_EQ(reason.value_or("fit"), c.reason);
  }
}

TEST(XmlCharactersReplaced, ReplacesEachUnfitCharacterOrSaysNothingNeededIt) {
  EXPECT_EQ(XmlCharactersReplaced("A\xEF\xBF\xBE"
                                  "B\xFF"),
            "A\xEF\xBF\xBD"
            "B\xEF\xBF\xBD");
  EXPECT_FALSE(XmlCharactersReplaced("caf\xC3\xA9\tok").has_value());
}

}  // namespace

}  // namespace pdf::text
