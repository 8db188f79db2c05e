#include "jobs/xml_text.h"

#include <gtest/gtest.h>

#include <boost/property_tree/xml_parser.hpp>

namespace {

using boost::property_tree::ptree;
using boost::property_tree::xml_parser_error;

// Shapes an answer file may take, and text no parser accepts.
const std::string kDocuments[] = {
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<a>\r\n\t<b>1</b>\r\n</a>\r\n",
    "\xEF\xBB\xBF<a x='1' y=\"&quot;\">t<b/>u<!--c-->v</a>",
    "<!DOCTYPE a [<!ENTITY e \"x\">]><?pi data?><a>&e;&amp;&#65;&#x42;</a>",
    "<a><![CDATA[<raw> & ]]></a><a>  two  </a>",
    "<r>\n\t<s>\n\t\t<t>deep</t>\n\t</s>\n</r>\n",
    std::string("<a>x</a>\0<b>after a NUL</b>", 27),
    "",
};
const std::string kMalformed[] = {"<a>", "<a x=1/>", "\n\n<a><b>", "<a>&unknown;</a"};

TEST(XmlText, DirectParseGivesWhatReadXmlGives) {
  if (!xml_text::HasDirectParse())
    GTEST_SKIP() << "this Boost version has no direct parse; Parse uses read_xml";
  for (const std::string& document : kDocuments) {
    std::string text = document;
    EXPECT_TRUE(xml_text::ParseDirect(text) == xml_text::ParseThroughReadXml(document)) << document;
  }
  for (const std::string& document : kMalformed) {
    std::string text = document;
    long directLine = 0;  // 0: no error
    long readXmlLine = 0;
    try {
      xml_text::ParseDirect(text);
    } catch (const xml_parser_error& error) {
      directLine = static_cast<long>(error.line());
    }
    try {
      xml_text::ParseThroughReadXml(document);
    } catch (const xml_parser_error& error) {
      readXmlLine = static_cast<long>(error.line());
    }
    EXPECT_GT(readXmlLine, 0) << document;
    EXPECT_EQ(directLine, readXmlLine) << document;
  }
}

TEST(XmlText, ParseTakesEitherPathToTheSameTree) {
  for (const std::string& document : kDocuments) {
    std::string text = document;
    EXPECT_TRUE(xml_text::Parse(text) == xml_text::ParseThroughReadXml(document)) << document;
  }
  std::string malformed = "<a>";
  EXPECT_THROW(xml_text::Parse(malformed), xml_parser_error);
}

TEST(XmlText, ReadXmlPathMatchesTheLibraryOnAStream) {
  // The fallback is the library itself; this pins that it is used with flags 0.
  std::string document = "<a>  kept  <!--c--></a>";
  EXPECT_EQ(xml_text::ParseThroughReadXml(document).get<std::string>("a"), "  kept  ");
  EXPECT_EQ(xml_text::ParseThroughReadXml(document).get_child("a").count("<xmlcomment>"), 1u);
}

}  // namespace
