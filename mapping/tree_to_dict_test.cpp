#include "mapping/tree_to_dict.h"

#include <gtest/gtest.h>

#include <string>

#include "mapping/dict_to_tree.h"
#include "mapping/test_values.h"

namespace {

using boost::property_tree::ptree;
using mapping_test::Array;
using mapping_test::Dict;
using mapping_test::ParseXml;
using mapping_test::Printed;

KQ_TDict DictOfXml(const std::string& xml) {
  KQ_TDict dictionary;
  TreeToDict(ParseXml(xml), dictionary);
  return dictionary;
}

TEST(TreeToDict, WorkedExampleReadsBackWrapped) {
  KQ_TDict answer = DictOfXml(
      "<title>Report</title><options><mode>fast</mode></options>"
      "<fileArray><file>one</file><file>two</file></fileArray>"
      "<pageArray><page><n>1</n></page><page><n>2</n></page></pageArray>");
  EXPECT_TRUE(answer.KQ_IsIdent(mapping_test::ReportAnswer())) << Printed(answer);
}

TEST(TreeToDict, RoundTripOfTheDictionaryMapping) {
  KQ_TDict answer;
  TreeToDict(DictToTree(mapping_test::ReportParameters()), answer);
  EXPECT_TRUE(answer.KQ_IsIdent(mapping_test::ReportAnswer())) << Printed(answer);
}

// Printed forms: strings print bare, sub-dictionaries as {key: value}, arrays as [a, b].
TEST(TreeToDict, ShapeTable) {
  struct Case {
    const char* xml;
    const char* printed;
  };
  for (const Case& c : {
           Case{"", "{}"},
           Case{"<a/>", "{a: }"},
           Case{"<a>  x  </a>", "{a:   x  }"},
           Case{"<a> </a>", "{a:  }"},
           Case{"<a>t<b>1</b></a>", "{a: {b: 1}}"},
           Case{"<a x=\"1\">t</a>", "{a: {<xmlattr>: {x: 1}}}"},
           Case{"<a x=\"1\"/>", "{a: {<xmlattr>: {x: 1}}}"},
           Case{"<itemArray/>", "{itemArray: }"},
           Case{"<itemArray><item>1</item></itemArray>", "{itemArray: {item: [1]}}"},
           Case{"<itemArray><item/><item><n>2</n></item></itemArray>",
                "{itemArray: {item: [, {n: 2}]}}"},
           Case{"<pArray><p><qArray><q>1</q></qArray></p></pArray>",
                "{pArray: {p: [{qArray: {q: [1]}}]}}"},
           Case{"<Array><x>1</x></Array>", "{Array: {x: 1}}"},
           Case{"<a>1</a><b/><a>2</a>", "{a: 2, b: }"},
           Case{"<a>1</a><!-- note --><b/>", "{a: 1, <xmlcomment>:  note , b: }"},
           Case{"<a><![CDATA[<x>]]>&amp;</a>", "{a: <x>&}"},
       }) {
    EXPECT_EQ(Printed(DictOfXml(c.xml)), c.printed) << c.xml;
  }
}

TEST(TreeToDict, ArrayElementsAreStringsAndDictionaries) {
  KQ_TDict answer = DictOfXml("<fArray><f>x</f><f><n>1</n></f></fArray>");
  const KQ_TDict* wrapper = answer["fArray"].DynamicCast<KQ_TDict>();
  ASSERT_NE(wrapper, nullptr);
  const KQ_TArray* array = (*wrapper)["f"].DynamicCast<KQ_TArray>();
  ASSERT_NE(array, nullptr);
  ASSERT_EQ(array->Count(), 2u);
  EXPECT_STREQ((*array)[0].ClassName(), "KQ_TString");
  EXPECT_STREQ((*array)[1].ClassName(), "KQ_TDict");
}

// A container with a child of another name fails; entries already set stay, the failing
// one is not set.
TEST(TreeToDict, ForeignChildInAContainerFails) {
  struct Case {
    const char* xml;
    const char* message;
    const char* kept;
  };
  for (const Case& c : {
           Case{"<a>1</a><fArray><f>1</f><g>2</g></fArray><b>2</b>",
                "Unexpected array element name (expected f, found g)", "{a: 1}"},
           Case{"<fArray><!-- c --><f>1</f></fArray>",
                "Unexpected array element name (expected f, found <xmlcomment>)", "{}"},
           Case{"<fArray x=\"1\"><f>1</f></fArray>",
                "Unexpected array element name (expected f, found <xmlattr>)", "{}"},
           Case{"<r><a>1</a><pArray><p><qArray><x/></qArray></p></pArray></r>",
                "Unexpected array element name (expected q, found x)", "{}"},
       }) {
    KQ_TDict dictionary;
    try {
      TreeToDict(ParseXml(c.xml), dictionary);
      ADD_FAILURE() << "no error for " << c.xml;
    } catch (const MappingError& refusal) {
      EXPECT_EQ(std::string(refusal.what()), c.message) << c.xml;
    }
    EXPECT_EQ(Printed(dictionary), c.kept) << c.xml;
  }
}

TEST(FillArrayFromTree, SizesTheArrayFirst) {
  KQ_TArray array = Array({"old"});
  ptree container = ParseXml("<f>1</f><f>2</f><g/>");
  EXPECT_THROW(FillArrayFromTree("f", container, array), MappingError);
  ASSERT_EQ(array.Count(), 3u);
  EXPECT_EQ(Printed(array), "[1, 2, null]");
}

}  // namespace
