#include "processors/pdf/run/xml_answer.h"

#include <gtest/gtest.h>

#include "platform/kqtypes/kqtypes.h"

namespace pdf::run {

namespace {

std::string TextAt(const KQ_TAny& value) {
  const KQ_TString* text = value.DynamicCast<KQ_TString>();
  return text == nullptr ? "(not a string)" : text->Text();
}

TEST(ReplaceCharactersXmlForbids, ReplacesAtAnyDepthAndNamesThePlaces) {
  KQ_TDict info;
  info["Title"] = std::string("T\xEF\xBF\xBFt");
  info["Author"] = std::string("fine");
  KQ_TDict bookmark;
  bookmark["title"] = std::string("A\xED\xA0\x80");
  KQ_TArray bookmarks;
  bookmarks.Append(KQ_TDict());
  bookmarks.Append(bookmark);
  KQ_TDict answer;
  answer["info"] = info;
  answer["bookmark"] = bookmarks;
  std::vector<std::string> places = ReplaceCharactersXmlForbids(answer);
  EXPECT_EQ(places, (std::vector<std::string>{"info.Title", "bookmark[2].title"}));
  const KQ_TDict* written = answer["info"].DynamicCast<KQ_TDict>();
  ASSERT_NE(written, nullptr);
  EXPECT_EQ(TextAt((*written)["Title"]), "T\xEF\xBF\xBDt");
  EXPECT_EQ(TextAt((*written)["Author"]), "fine");
  KQ_TDict clean;
  clean["a"] = std::string("caf\xC3\xA9");
  EXPECT_TRUE(ReplaceCharactersXmlForbids(clean).empty());
}

TEST(ReplacedCharactersWarning, NamesTheFirstPlacesAndCountsTheRest) {
  EXPECT_EQ(ReplacedCharactersWarning({"info.Title"}),
            "the answer's \"info.Title\" held characters XML cannot carry; each was replaced by "
            "U+FFFD");
  std::vector<std::string> many = {"a", "b", "c", "d", "e", "f", "g"};
  EXPECT_EQ(ReplacedCharactersWarning(many),
            "the answer's \"a\", \"b\", \"c\", \"d\", \"e\" and 2 more held characters XML cannot "
            "carry; each was replaced by U+FFFD");
}

}  // namespace

}  // namespace pdf::run
