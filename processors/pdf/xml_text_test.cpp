#include "processors/pdf/xml_text.h"

#include <gtest/gtest.h>

#include "mapping/dict_to_tree.h"
#include "platform/kqtypes/kq_dict.h"

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

}  // namespace
