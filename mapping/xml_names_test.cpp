#include "mapping/xml_names.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

TEST(XmlNames, NameTable) {
  struct Case {
    std::string name;
    bool expected;
  };
  for (const Case& c : {
           Case{"title", true},
           Case{"_x", true},
           Case{"a-b.c9", true},
           Case{"ns:tag", true},
           Case{"gr\xC3\xB6\xC3\x9F"
                "e",
                true},                              // größe
           Case{"\xE6\x97\xA5\xE6\x9C\xAC", true},  // 日本
           Case{"a\xC2\xB7"
                "b",
                true},  // middle dot inside
           Case{"", false},
           Case{"a b", false},
           Case{"1a", false},
           Case{"-a", false},
           Case{".a", false},
           Case{"x><y", false},
           Case{"a&b", false},
           Case{"a\"b", false},
           Case{"a\0b"s, false},
           Case{"\xC2\xB7"
                "a",
                false},                  // middle dot cannot start a name
           Case{"\xFF", false},          // not UTF-8
           Case{"a\xC3", false},         // truncated sequence
           Case{"\xC0\xB1", false},      // overlong encoding
           Case{"\xED\xA0\x80", false},  // encoded surrogate
           Case{"\xC3\x97", false},      // multiplication sign
           Case{"<xmlattr>", false},
       }) {
    EXPECT_EQ(xml_names::IsXmlName(c.name), c.expected) << '"' << c.name << '"';
  }
}

TEST(XmlNames, MarkersAreExactlyTheThree) {
  EXPECT_TRUE(xml_names::IsTreeMarker("<xmlattr>"));
  EXPECT_TRUE(xml_names::IsTreeMarker("<xmlcomment>"));
  EXPECT_TRUE(xml_names::IsTreeMarker("<xmltext>"));
  EXPECT_FALSE(xml_names::IsTreeMarker("<xmlother>"));
  EXPECT_FALSE(xml_names::IsTreeMarker("<XMLATTR>"));
}

TEST(XmlNames, TextAndCommentTable) {
  struct Case {
    std::string text;
    bool text_ok;
    bool comment_ok;
  };
  for (const Case& c : {
           Case{"", true, true},
           Case{"plain <&> \"'", true, true},
           Case{"tab\tline\ncr\r", true, true},
           Case{"\x7F\xC2\x85", true, true},  // DEL and C1 controls are XML 1.0 characters
           Case{"a\x01", false, false},
           Case{"\x0B", false, false},
           Case{"\x1F", false, false},
           Case{"a\0b"s, false, false},
           Case{"a-b", true, true},
           Case{"a--b", true, false},
           Case{"x -->", true, false},
           Case{"ends-", true, false},
           Case{"-", true, false},
       }) {
    EXPECT_EQ(xml_names::IsXmlText(c.text), c.text_ok) << '"' << c.text << '"';
    EXPECT_EQ(xml_names::IsXmlCommentText(c.text), c.comment_ok) << '"' << c.text << '"';
  }
}

}  // namespace
