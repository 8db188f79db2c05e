#include "mapping/dict_to_tree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mapping/test_values.h"

namespace {

using namespace std::string_literals;
using boost::property_tree::ptree;
using mapping_test::Array;
using mapping_test::CompactXml;
using mapping_test::Dict;

std::vector<std::string> TopLevelNames(const ptree& tree) {
  std::vector<std::string> names;
  for (const ptree::value_type& child : tree)
    names.push_back(child.first);
  return names;
}

// The message FillTreeFromDict throws for `dictionary`, or "" when it throws nothing.
std::string FillError(const KQ_TDict& dictionary) {
  ptree tree;
  try {
    FillTreeFromDict(dictionary, tree);
  } catch (const MappingError& refusal) {
    return refusal.what();
  }
  return "";
}

TEST(DictToTree, WorkedExampleGivesFourTopLevelElements) {
  ptree tree = DictToTree(mapping_test::ReportParameters());
  EXPECT_EQ(TopLevelNames(tree),
            (std::vector<std::string>{"title", "options", "fileArray", "pageArray"}));
  EXPECT_EQ(CompactXml(tree),
            "<title>Report</title>"
            "<options><mode>fast</mode></options>"
            "<fileArray><file>one</file><file>two</file></fileArray>"
            "<pageArray><page><n>1</n></page><page><n>2</n></page></pageArray>");
}

TEST(DictToTree, ShapeTable) {
  struct Case {
    const char* what;
    KQ_TDict dictionary;
    std::string xml;
  };
  const Case cases[] = {
      {"empty dictionary", Dict({}), ""},
      {"empty string", Dict({{"a", ""}}), "<a/>"},
      {"markup is escaped", Dict({{"a", "<&>\"'"}}), "<a>&lt;&amp;&gt;&quot;&apos;</a>"},
      {"text ends at its NUL", Dict({{"a", KQ_TAny(KQ_TString("x\0y"s))}}), "<a>x</a>"},
      {"blanks and line ends kept", Dict({{"a", " x\ty\n"}}), "<a> x\ty\n</a>"},
      {"empty sub-dictionary", Dict({{"a", Dict({})}}), "<a/>"},
      {"nested sub-dictionaries", Dict({{"a", Dict({{"b", "1"}, {"c", Dict({{"d", "2"}})}})}}),
       "<a><b>1</b><c><d>2</d></c></a>"},
      {"empty array", Dict({{"f", Array({})}}), ""},
      {"array of one string", Dict({{"f", Array({"one"})}}), "<fArray><f>one</f></fArray>"},
      {"mixed array", Dict({{"f", Array({"x", Dict({{"n", "1"}}), Dict({})})}}),
       "<fArray><f>x</f><f><n>1</n></f><f/></fArray>"},
      {"array inside an array element", Dict({{"p", Array({Dict({{"q", Array({"1"})}})})}}),
       "<pArray><p><qArray><q>1</q></qArray></p></pArray>"},
      {"array joins an existing container",
       Dict({{"fArray", Dict({{"g", "0"}})}, {"f", Array({"1"})}}),
       "<fArray><g>0</g><f>1</f></fArray>"},
      {"dotted string key", Dict({{"a.b", "x"}}), "<a><b>x</b></a>"},
      {"dotted array key", Dict({{"a.b", Array({"x"})}}),
       "<a><bArray><a><b>x</b></a></bArray></a>"},
      {"a.b then a: the sub-dictionary replaces a",
       Dict({{"a.b", "x"}, {"a", Dict({{"c", "y"}})}, {"z", ""}}), "<a><c>y</c></a><z/>"},
      {"a then a.b: b joins the converted a", Dict({{"a", Dict({{"c", "y"}})}, {"a.b", "x"}}),
       "<a><c>y</c><b>x</b></a>"},
      {"names beyond ASCII",
       Dict({{"gr\xC3\xB6\xC3\x9F"
              "e",
              "1"}}),
       "<gr\xC3\xB6\xC3\x9F"
       "e>1</gr\xC3\xB6\xC3\x9F"
       "e>"},
      {"attributes",
       Dict({{"a", Dict({{"<xmlattr>", Dict({{"x", "1"}, {"y", "<"}})}, {"b", "t"}})}}),
       "<a x=\"1\" y=\"&lt;\"><b>t</b></a>"},
      {"attribute by path", Dict({{"a.<xmlattr>.x", "1"}, {"a.<xmlattr>.y", "2"}}),
       "<a x=\"1\" y=\"2\"/>"},
      {"comment", Dict({{"a", Dict({{"<xmlcomment>", " note "}})}}), "<a><!-- note --></a>"},
      {"top-level comment", Dict({{"<xmlcomment>", "top"}, {"a", "1"}}), "<!--top--><a>1</a>"},
      {"text marker", Dict({{"a", Dict({{"<xmltext>", "t"}})}}), "<a>t</a>"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CompactXml(DictToTree(c.dictionary)), c.xml) << c.what;
}

// Everything the writer would copy into the file broken, and every value class it cannot
// hold, makes the whole conversion fail: an empty tree, nothing half-converted.
TEST(DictToTree, RefusedInputGivesAnEmptyTree) {
  struct Case {
    const char* what;
    KQ_TDict dictionary;
  };
  const Case cases[] = {
      {"list value", Dict({{"ok", "1"}, {"l", KQ_TList()}})},
      {"URL value", Dict({{"u", KQ_TURL(KQ_TString("file:///x"))}})},
      {"integer value", Dict({{"i", 5}})},
      {"boolean value", Dict({{"b", true}})},
      {"null value", Dict({{"n", KQ_TAny()}})},
      {"list deep inside", Dict({{"a", Dict({{"b", Array({Dict({{"c", KQ_TList()}})})}})}})},
      {"array in an array", Dict({{"f", Array({Array({"x"})})}})},
      {"list in an array", Dict({{"f", Array({"x", KQ_TList()})}})},
      {"key with a space", Dict({{"a b", "x"}})},
      {"key with a leading digit", Dict({{"1a", "x"}})},
      {"key injecting markup", Dict({{"x><y", "x"}})},
      {"key that is not UTF-8", Dict({{"\xFF", "x"}})},
      {"empty key", Dict({{"", "x"}})},
      {"empty middle part", Dict({{"a..b", "x"}})},
      {"empty first part", Dict({{".a", "x"}})},
      {"empty last part", Dict({{"a.", "x"}})},
      {"bad part of a dotted key", Dict({{"a.1", "x"}})},
      {"bad key of a sub-dictionary", Dict({{"a", Dict({{"b c", "x"}})}})},
      {"bad key of an array", Dict({{"a b", Array({"x"})}})},
      {"bad key of an empty array", Dict({{"a b", Array({})}})},
      {"unknown marker", Dict({{"<xmlother>", "x"}})},
      {"control character in text", Dict({{"a", "x\x01y"}})},
      {"control character in an array", Dict({{"f", Array({"\x1F"})}})},
      {"control character in an attribute", Dict({{"a.<xmlattr>.x", "\x0B"}})},
      {"comment with --", Dict({{"a", Dict({{"<xmlcomment>", "x -- y"}})}})},
      {"comment closing early", Dict({{"<xmlcomment>", "x --><y/><!--"}})},
      {"comment ending in -", Dict({{"<xmlcomment>", "x-"}})},
      {"comment holding a dictionary", Dict({{"a", Dict({{"<xmlcomment>", Dict({{"b", "1"}})}})}})},
      {"text marker holding a dictionary", Dict({{"a.<xmltext>", Dict({{"b", "1"}})}})},
      {"marker in the middle", Dict({{"a.<xmlcomment>.b", "1"}})},
      {"marker holding an array", Dict({{"a", Dict({{"<xmlcomment>", Array({"1"})}})}})},
      {"attribute name not a name", Dict({{"a", Dict({{"<xmlattr>", Dict({{"1x", "1"}})}})}})},
      {"attribute name injecting", Dict({{"a.<xmlattr>.x=\"1\" y", "1"}})},
      {"attribute name a marker", Dict({{"a", Dict({{"<xmlattr>", Dict({{"<xmltext>", "1"}})}})}})},
      {"dotted attribute name", Dict({{"a", Dict({{"<xmlattr>", Dict({{"x.y", "1"}})}})}})},
      {"attribute holding a dictionary",
       Dict({{"a", Dict({{"<xmlattr>", Dict({{"x", Dict({})}})}})}})},
      {"attribute holding children", Dict({{"a.<xmlattr>.x.y", "1"}})},
      {"attributes held by a string", Dict({{"a.<xmlattr>", "x"}})},
      {"duplicate attribute",
       Dict({{"a", Dict({{"<xmlattr>", Dict({{"x", "1"}})}})}, {"a.<xmlattr>.x", "2"}})},
  };
  for (const Case& c : cases) {
    ptree tree = DictToTree(c.dictionary);
    EXPECT_TRUE(tree.empty() && tree.data().empty()) << c.what << ": " << CompactXml(tree);
    EXPECT_NE(FillError(c.dictionary), "") << c.what;
  }
}

// The document has no element to carry attributes or text; a node that FillTreeFromDict
// fills is an element and may.
TEST(DictToTree, AttributesAndTextNeedAnElement) {
  for (const KQ_TDict& dictionary : {Dict({{"<xmlattr>", Dict({{"x", "1"}})}}),
                                     Dict({{"<xmltext>", "t"}}), Dict({{"<xmlattr>.x", "1"}})}) {
    EXPECT_TRUE(DictToTree(dictionary).empty());
    EXPECT_EQ(FillError(dictionary), "");
  }
}

TEST(FillTreeFromDict, ClassErrorsHaveTheirOwnTexts) {
  EXPECT_EQ(FillError(Dict({{"l", KQ_TList()}})),
            "Unexpected dictionary value type KQ_TList(expected a string, array or "
            "sub-dictionary)");
  EXPECT_EQ(FillError(Dict({{"a", Dict({{"u", KQ_TURL(KQ_TString("x"))}})}})),
            "Unexpected dictionary value type KQ_TURL(expected a string, array or "
            "sub-dictionary)");
  EXPECT_EQ(FillError(Dict({{"f", Array({"x", Array({})})}})),
            "Unexpected array value type KQ_TArray(expected a string or sub-dictionary)");
  ptree node;
  EXPECT_THROW(FillTreeFromArray("f", Array({KQ_TList()}), node), MappingError);
  EXPECT_TRUE(node.empty());
}

TEST(FillTreeFromDict, MessagesNameTheKey) {
  EXPECT_EQ(FillError(Dict({{"a b", "x"}})),
            "Unexpected dictionary key \"a b\" (\"a b\" is not an XML name)");
  EXPECT_EQ(FillError(Dict({{"a..b", "x"}})),
            "Unexpected dictionary key \"a..b\" (an element name is empty)");
  EXPECT_EQ(FillError(Dict({{"a", "x\x01"}})),
            "Unexpected text in \"a\" (it holds a control character that XML cannot carry)");
}

TEST(FillTreeFromDict, KeepsWhatWasAddedBeforeAFailure) {
  ptree node;
  EXPECT_THROW(FillTreeFromDict(Dict({{"a", "1"}, {"b", KQ_TList()}, {"c", "3"}}), node),
               MappingError);
  EXPECT_EQ(CompactXml(node), "<a>1</a>");
}

TEST(FillTreeFromArray, AddsBelowTheGivenNode) {
  ptree node;
  FillTreeFromArray("f", Array({"1", "2"}), node);
  FillTreeFromArray("f", Array({"3"}), node);
  FillTreeFromArray("g", Array({}), node);
  EXPECT_EQ(CompactXml(node), "<fArray><f>1</f><f>2</f><f>3</f></fArray>");
}

KQ_TDict NestedDict(int levels) {
  KQ_TDict inner = Dict({{"leaf", "x"}});
  for (int i = 1; i < levels; ++i) {
    KQ_TDict outer;
    outer["e"] = KQ_TAny(std::move(inner));
    inner = std::move(outer);
  }
  return inner;
}

std::string DottedKey(int parts) {
  std::string key = "e";
  for (int i = 1; i < parts; ++i)
    key += ".e";
  return key;
}

TEST(DictToTree, NestsAtMost512ElementLevels) {
  EXPECT_FALSE(DictToTree(NestedDict(512)).empty());
  EXPECT_TRUE(DictToTree(NestedDict(513)).empty());
  EXPECT_FALSE(DictToTree(Dict({{DottedKey(512), "x"}})).empty());
  EXPECT_TRUE(DictToTree(Dict({{DottedKey(513), "x"}})).empty());
  // An array adds two levels per key part: the container and the element.
  EXPECT_FALSE(DictToTree(Dict({{DottedKey(256), Array({"x"})}})).empty());
  EXPECT_TRUE(DictToTree(Dict({{DottedKey(257), Array({"x"})}})).empty());
  // Attributes and comments are not elements.
  EXPECT_FALSE(DictToTree(Dict({{DottedKey(512) + ".<xmlattr>.x", "1"}})).empty());
  EXPECT_FALSE(DictToTree(Dict({{DottedKey(512) + ".<xmlcomment>", "c"}})).empty());
  // A key that would build a tree far deeper than the writer's stack takes fails at once.
  EXPECT_TRUE(DictToTree(Dict({{DottedKey(200'000), "x"}})).empty());
}

TEST(DictToTree, LeavesTheDictionaryUnchanged) {
  KQ_TDict dictionary = mapping_test::ReportParameters();
  dictionary["bad"] = KQ_TList();
  KQ_TDict copy = dictionary;
  DictToTree(dictionary);
  EXPECT_TRUE(dictionary.KQ_IsIdent(copy));
}

}  // namespace
