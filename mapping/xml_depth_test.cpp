#include "mapping/xml_depth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

#include <boost/property_tree/xml_parser.hpp>

#include "mapping/test_values.h"

namespace {

using mapping_test::Nested;

using namespace std::string_literals;
using boost::property_tree::ptree;
using xml_depth::MeasureXmlDepth;
using xml_depth::XmlDepthStatus;

// The element depth of a tree the library read: markers are not elements.
int ElementDepth(const ptree& node) {
  int deepest = 0;
  for (const ptree::value_type& child : node) {
    if (child.first == "<xmlattr>" || child.first == "<xmlcomment>")
      continue;
    deepest = std::max(deepest, 1 + ElementDepth(child.second));
  }
  return deepest;
}

struct Case {
  std::string document;
  XmlDepthStatus status;
  int depth;
};

// Documents whose structure the measurement must see as the library's reader does.
const Case kCases[] = {
    {"", XmlDepthStatus::kWithinLimit, 0},
    {"<?xml version=\"1.0\" encoding=\"utf-8\"?>\n", XmlDepthStatus::kWithinLimit, 0},
    {" \t\r\n", XmlDepthStatus::kWithinLimit, 0},
    {"\xEF\xBB\xBF<a/>", XmlDepthStatus::kWithinLimit, 1},
    {"<a/>", XmlDepthStatus::kWithinLimit, 1},
    {"<a><b/></a>", XmlDepthStatus::kWithinLimit, 2},
    {"<a><b></b><c><d/></c></a><e/>", XmlDepthStatus::kWithinLimit, 3},
    {"<a>x</b>", XmlDepthStatus::kWithinLimit, 1},  // closing names are not compared
    {"<a x=\"<b>\" y='\"<c>'><d/></a>", XmlDepthStatus::kWithinLimit, 2},
    {"<a><!-- <b><c><d> --></a>", XmlDepthStatus::kWithinLimit, 1},
    {"<a><![CDATA[<b><c>]]></a>", XmlDepthStatus::kWithinLimit, 1},
    {"<a><?pi <b><c> ?></a>", XmlDepthStatus::kWithinLimit, 1},
    {"<!DOCTYPE a [<!ENTITY e \"<b>\"> [nested]]><a/>", XmlDepthStatus::kWithinLimit, 1},
    {"<a><!other <b> ></a>", XmlDepthStatus::kWithinLimit, 1},
    {"<a>&lt;b&gt;</a>", XmlDepthStatus::kWithinLimit, 1},
    {"<a\n>t</a\t\n>", XmlDepthStatus::kWithinLimit, 1},
    {"<a/>\0<b><c><d>"s, XmlDepthStatus::kWithinLimit, 1},  // a NUL ends the document
    {"<a><b>", XmlDepthStatus::kMalformed, 2},
    {"<a>\0</a>"s, XmlDepthStatus::kMalformed, 1},
    {"text", XmlDepthStatus::kMalformed, 0},
    {"<a/>text", XmlDepthStatus::kMalformed, 1},
    {"</a>", XmlDepthStatus::kMalformed, 0},
    {"< a/>", XmlDepthStatus::kMalformed, 0},
    {"<a x=1/>", XmlDepthStatus::kMalformed, 1},
    {"<a x/>", XmlDepthStatus::kMalformed, 1},
    {"<a x='1/>", XmlDepthStatus::kMalformed, 1},
    {"<a / >", XmlDepthStatus::kMalformed, 1},
    {"<a></a >x", XmlDepthStatus::kMalformed, 1},
    {"<a></ a>", XmlDepthStatus::kMalformed, 1},
    {"<!-- open", XmlDepthStatus::kMalformed, 0},
    {"<![CDATA[ open", XmlDepthStatus::kMalformed, 0},
    {"<!DOCTYPE a [ <b>", XmlDepthStatus::kMalformed, 0},
    {"<?xml ", XmlDepthStatus::kMalformed, 0},
};

TEST(MeasureXmlDepth, FollowsTheReadersStructure) {
  for (const Case& c : kCases) {
    xml_depth::XmlDepth measured = MeasureXmlDepth(c.document);
    EXPECT_EQ(measured.status, c.status) << c.document;
    EXPECT_EQ(measured.depth, c.depth) << c.document;
  }
}

// The measurement is only a guard if it agrees with the reader: what it calls malformed the
// reader rejects, and the depth it reports is the depth the reader builds.
TEST(MeasureXmlDepth, AgreesWithTheLibraryReader) {
  for (const Case& c : kCases) {
    std::istringstream in(c.document);
    ptree tree;
    bool read = true;
    try {
      boost::property_tree::read_xml(in, tree, 0);
    } catch (const boost::property_tree::xml_parser_error&) {
      read = false;
    }
    EXPECT_EQ(read, c.status == XmlDepthStatus::kWithinLimit) << c.document;
    if (read) {
      EXPECT_EQ(ElementDepth(tree), c.depth) << c.document;
    }
  }
}

TEST(MeasureXmlDepth, StopsAtTheLimit) {
  EXPECT_EQ(xml_depth::kMaxXmlDepth, 512);
  xml_depth::XmlDepth atLimit = MeasureXmlDepth(Nested(512));
  EXPECT_EQ(atLimit.status, XmlDepthStatus::kWithinLimit);
  EXPECT_EQ(atLimit.depth, 512);
  EXPECT_EQ(MeasureXmlDepth(Nested(513)).status, XmlDepthStatus::kTooDeep);
  EXPECT_EQ(MeasureXmlDepth("<a><b/></a>", 1).status, XmlDepthStatus::kTooDeep);
  // Far deeper than any stack would take: measured without recursion.
  std::string deep;
  for (int i = 0; i < 1'000'000; ++i)
    deep += "<a x='1'>";
  EXPECT_EQ(MeasureXmlDepth(deep).status, XmlDepthStatus::kTooDeep);
}

}  // namespace
