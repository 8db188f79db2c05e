#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "platform/kqtypes/kqtypes.h"

namespace {

std::string Printed(const KQ_TAny& value) {
  std::ostringstream out;
  value.PrintOn(out);
  return out.str();
}

std::vector<std::string> Keys(const KQ_TDict& dict) {
  std::vector<std::string> keys;
  for (const KQ_TDict::Entry& entry : dict)
    keys.push_back(entry.key.Text());
  return keys;
}

TEST(KQ_TString, ComparesByteWiseAndCaseSensitively) {
  KQ_TString help("Help");
  EXPECT_TRUE(help == "Help");
  EXPECT_FALSE(help == "help");
  EXPECT_FALSE(help == "Help ");
  EXPECT_TRUE(KQ_TString("B") < KQ_TString("a"));
  EXPECT_FALSE(KQ_TString("a") < KQ_TString("a"));
  EXPECT_TRUE(KQ_TString(static_cast<const char*>(nullptr)).Empty());
  EXPECT_EQ(KQ_TString("abcdef", 3).Text(), "abc");
}

TEST(KQ_TString, FindTable) {
  struct Case {
    const char* text;
    const char* part;
    int start;
    int expected;
  };
  for (const Case& c :
       {Case{"ProgramDirectory", "Directory", 0, 7}, Case{"WorkingDirectory", "Directory", 0, 7},
        Case{"MyDirectoryCopy", "Directory", 0, 2}, Case{"directory", "Directory", 0, -1},
        Case{"abcabc", "abc", 1, 3}, Case{"abc", "", 3, 3}, Case{"abc", "a", 4, -1},
        Case{"abc", "a", -1, -1}, Case{"abc", nullptr, 0, -1}}) {
    EXPECT_EQ(KQ_TString(c.text).Find(c.part, c.start), c.expected) << c.text << " / " << c.part;
  }
}

TEST(KQ_TString, FormatConcatenatePrintAndWide) {
  EXPECT_EQ(KQ_TString::Format("Executing following command: %s", "cd x & y").Text(),
            "Executing following command: cd x & y");
  EXPECT_EQ(KQ_TString::Format("%d-%05.1f-%s", 7, 2.5, "").Text(), "7-002.5-");
  std::string longText(5000, 'x');
  EXPECT_EQ(KQ_TString::Format("%s", longText.c_str()).Text(), longText);
  EXPECT_EQ((KQ_TString("a") + "b" + KQ_TString("c")).Text(), "abc");
  std::ostringstream out;
  KQ_TString("dummy").PrintOn(out);
  EXPECT_EQ(out.str(), "dummy");
  EXPECT_EQ(KQ_TString(L"gr\u00fc\u00df \u20ac").Text(), "gr\xC3\xBC\xC3\x9F \xE2\x82\xAC");
}

TEST(KQ_TAny, AssignmentsStoreTheLibraryClasses) {
  KQ_TAny any;
  EXPECT_TRUE(any.IsNull());
  EXPECT_STREQ(any.ClassName(), "");
  any = "text";
  EXPECT_STREQ(any.ClassName(), "KQ_TString");
  any = L"wide";
  ASSERT_NE(any.DynamicCast<KQ_TString>(), nullptr);
  EXPECT_EQ(any.DynamicCast<KQ_TString>()->Text(), "wide");
  any = false;
  EXPECT_STREQ(any.ClassName(), "KQ_TBool");
  EXPECT_FALSE(any.DynamicCast<KQ_TBool>()->Value());
  any = 42;
  EXPECT_EQ(any.DynamicCast<KQ_TInt>()->Value(), 42);
  KQ_TDict dict;
  dict["k"] = "v";
  any = dict;  // a copy
  dict["k"] = "changed";
  EXPECT_EQ(Printed(any), "{k: v}");
  EXPECT_EQ(any.DynamicCast<KQ_TString>(), nullptr);
}

TEST(KQ_TAny, CopiesAreDeepAndCompareByContent) {
  KQ_TDict inner;
  inner["x"] = "1";
  KQ_TDict outer;
  outer["inner"] = inner;
  KQ_TAny original(outer);
  KQ_TAny copy = original;
  EXPECT_TRUE(copy == original);
  (*copy.DynamicCast<KQ_TDict>())["inner"] = "replaced";
  EXPECT_FALSE(copy == original);
  EXPECT_EQ(Printed(original), "{inner: {x: 1}}");
  EXPECT_TRUE(KQ_TAny() == KQ_TAny());
  EXPECT_FALSE(KQ_TAny("1") == KQ_TAny(1));
}

TEST(KQ_TDict, KeepsInsertionOrderAndOverwritesInPlace) {
  KQ_TDict dict(0);
  dict["title"] = "Report";
  dict["options"] = KQ_TDict();
  dict["file"] = KQ_TArray();
  dict["title"] = "Changed";
  EXPECT_EQ(Keys(dict), (std::vector<std::string>{"title", "options", "file"}));
  EXPECT_EQ(dict.Count(), 3u);
  EXPECT_EQ(dict["title"].DynamicCast<KQ_TString>()->Text(), "Changed");
}

TEST(KQ_TDict, LargeDictionariesKeepOrderAndFindEveryKey) {
  KQ_TDict dict;
  for (int i = 0; i < 1000; ++i)
    dict["key" + std::to_string(999 - i)] = std::to_string(i);
  dict["key500"] = "again";
  ASSERT_EQ(dict.Count(), 1000u);
  EXPECT_EQ(dict.EntryAt(0).key.Text(), "key999");
  EXPECT_EQ(dict.EntryAt(499).key.Text(), "key500");
  const KQ_TDict& view = dict;
  for (int i = 0; i < 1000; ++i)
    ASSERT_NE(view.Find("key" + std::to_string(i)), nullptr);
  EXPECT_EQ(view["key500"].DynamicCast<KQ_TString>()->Text(), "again");
  KQ_TDict copy = dict;
  copy["new"] = "x";
  EXPECT_EQ(copy.Count(), 1001u);
  EXPECT_NE(copy.Find("key3"), nullptr);
  EXPECT_EQ(dict.Find("new"), nullptr);
}

TEST(KQ_TDict, ConstLookupOfAMissingKeyIsNullAndCreatesNothing) {
  KQ_TDict dict;
  dict["M"] = "Help";
  const KQ_TDict& request = dict;
  EXPECT_TRUE(request["P1"].IsNull());
  EXPECT_EQ(request.Find("P1"), nullptr);
  EXPECT_EQ(request["P1"].DynamicCast<KQ_TDict>(), nullptr);
  EXPECT_EQ(request.Count(), 1u);
  dict[L"wide"] = "w";
  EXPECT_NE(request.Find("wide"), nullptr);
}

TEST(KQ_TConstIterator, WalksDictionariesAndLists) {
  KQ_TDict dict;
  dict["a"] = "1";
  dict["b"] = "2";
  std::string seen;
  for (KQ_TConstIterator it(dict); !it.IsDone(); it.Next()) {
    seen += KQ_TObject::DynamicCast<KQ_TString>(&it.Key())->Text();
    seen += it.Value().DynamicCast<KQ_TString>()->Text();
  }
  EXPECT_EQ(seen, "a1b2");

  KQ_TList list;
  list.Append("x");
  list.Append("y");
  seen.clear();
  KQ_TConstIterator it(list);
  for (; !it.IsDone(); it.Next()) {
    seen += std::to_string(KQ_TObject::DynamicCast<KQ_TInt>(&it.Key())->Value());
    seen += it.Value().DynamicCast<KQ_TString>()->Text();
  }
  EXPECT_EQ(seen, "0x1y");
  EXPECT_THROW(it.Value(), KQ_EException);
}

TEST(KQ_TArray, SetLengthAndCheckedIndexing) {
  KQ_TArray array;
  array.SetLength(2);
  EXPECT_TRUE(array[0].IsNull());
  array[1] = "second";
  EXPECT_EQ(Printed(KQ_TAny(array)), "[null, second]");
  EXPECT_THROW(array[2], KQ_EException);
  const KQ_TArray& view = array;
  EXPECT_THROW(view[5], KQ_EException);
  KQ_TList list;
  EXPECT_THROW(list.At(0), KQ_EException);
}

TEST(KQ_TTree, HoldsValuesAndSubTrees) {
  KQ_TTree folder;
  folder["ProgramDirectory"] = "procs/";
  KQ_TTree sub;
  sub["x"] = "1";
  folder["Sub"] = sub;
  EXPECT_EQ(folder.Count(), 2u);
  EXPECT_STREQ(folder["Sub"].ClassName(), "KQ_TTree");
  const KQ_TTree& view = folder;
  EXPECT_TRUE(view["missing"].IsNull());
  EXPECT_EQ(view.Count(), 2u);
}

TEST(KQ_EException, CarriesMessageDataSourceAndPrintsOneLine) {
  KQ_EException error("two\nlines", KQ_TAny("data"));
  EXPECT_EQ(error.KQ_Message().Text(), "two\nlines");
  EXPECT_EQ(error.KQ_Data().DynamicCast<KQ_TString>()->Text(), "data");
  EXPECT_GT(error.KQ_ExceptionLine(), 0);
  EXPECT_NE(std::string(error.KQ_ExceptionFile()).find("kq_values_test.cpp"), std::string::npos);
  std::ostringstream out;
  error.PrintOn(out);
  EXPECT_EQ(out.str().rfind("KQ_EException: two lines (", 0), 0u) << out.str();
  EXPECT_EQ(out.str().find('\n'), std::string::npos);
  try {
    error.KQ_Raise();
  } catch (const KQ_EException& raised) {
    EXPECT_TRUE(raised.KQ_IsIdent(error));
  }
}

}  // namespace
