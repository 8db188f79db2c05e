#include "processors/pdf/html/page_files.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/os/piped_program.h"
#include "tests/support/test_support.h"

namespace pdf::html {
namespace {

using ::testing::HasSubstr;

TEST(PageFiles, AddressesEncodeAndDecode) {
  EXPECT_EQ(EncodeUrlPath("/r/a b/%x.html"), "/r/a%20b/%25x.html");
  EXPECT_EQ(DecodeUrlPath("/r/a%20b/%25x.html"), "/r/a b/%x.html");
  EXPECT_EQ(DecodeUrlPath("/a%2"), std::nullopt);
  EXPECT_EQ(DecodeUrlPath("/a%zz"), std::nullopt);
  EXPECT_EQ(DecodeUrlPath("/a%00b"), std::nullopt);
  EXPECT_EQ(ContentTypeOf("style.CSS"), "text/css");
  EXPECT_EQ(ContentTypeOf("dir.v2/file"), "application/octet-stream");
}

class PageFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(root_ + "/sub");
    paths_.emplace(run::RootSettings{root_, std::nullopt});
    vtps_test::WriteFile(root_ + "/sub/style.css", "body{}");
    vtps_test::WriteFile(root_ + "/big.png", std::string(600, 'x'));
    vtps_test::WriteFile(dir_.File("secret.txt"), "secret");
    std::filesystem::create_symlink(dir_.File("secret.txt"), root_ + "/sub/link.txt");
  }

  office::QuestionReply Ask(PageFiles& files, const std::string& url) {
    office::EngineMessage question;
    question.Add("question", "fetch");
    question.Add("url", url);
    return files.Answer(question);
  }

  vtps_test::TempDir dir_;
  std::string root_ = dir_.File("root");
  std::optional<run::PathResolver> paths_;
};

TEST_F(PageFilesTest, HandsFilesBeneathTheRootAndRefusesEverythingElse) {
  PageFiles files(*paths_, root_, "", {"https://cdn.example.com"}, 1000);
  const std::string base = "file://" + root_;
  office::QuestionReply style = Ask(files, base + "/sub/style.css?v=2#top");
  EXPECT_EQ(style.message.Get("status"), "file");
  EXPECT_EQ(style.message.Get("contentType"), "text/css");
  ASSERT_TRUE(style.file.Valid());
  char bytes[16] = {};
  EXPECT_EQ(os::ReadSome(style.file, bytes, sizeof bytes), 6);

  struct Case {
    std::string url;
    std::string status;
    std::string reason;
  } cases[] = {
      {"data:text/css,body{}", "continue", ""},
      {"https://cdn.example.com/lib.js", "continue", ""},
      {"https://cdn.example.com:443/lib.js", "continue", ""},
      {"https://evil.example.com/x", "refused", "is not allowed"},
      {"http://127.0.0.1:9/", "refused", "is not allowed"},
      {"ftp://host/x", "refused", "only files beside the document"},
      {"file:///etc/passwd", "refused", "outside the folder"},
      {base + "/../secret.txt", "refused", "segment"},
      {base + "/sub/..%2F..%2Fsecret.txt", "refused", "segment"},
      {base + "//sub/style.css", "refused", "segment"},
      {"file://" + dir_.File("secret.txt"), "refused", "outside the folder"},
      {base + "/sub/link.txt", "refused", "outside"},
      {base + "/missing.css", "refused", "does not exist"},
      {base + "/sub", "refused", ""},
      {"file://otherhost" + root_ + "/sub/style.css", "refused", "local file"},
      {base + "/sub/style%00.css", "refused", "malformed"},
  };
  for (const Case& test : cases) {
    office::QuestionReply reply = Ask(files, test.url);
    EXPECT_EQ(reply.message.Get("status"), test.status) << test.url;
    EXPECT_THAT(reply.message.Get("reason").value_or(""), HasSubstr(test.reason)) << test.url;
    EXPECT_FALSE(reply.file.Valid() && test.status != "file") << test.url;
  }
}

TEST_F(PageFilesTest, TheFilesTogetherStayWithinTheirBudget) {
  PageFiles files(*paths_, root_, "", {}, 1000);
  EXPECT_EQ(Ask(files, "file://" + root_ + "/big.png").message.Get("status"), "file");
  office::QuestionReply again = Ask(files, "file://" + root_ + "/big.png");
  EXPECT_EQ(again.message.Get("status"), "refused");
  EXPECT_THAT(again.message.Get("reason").value_or(""), HasSubstr("VTPS_HTML_MAX_INPUT_BYTES"));
  EXPECT_EQ(files.BytesHanded(), 600);
}

TEST_F(PageFilesTest, APageOfTheProcessorsOwnIsHandedUnderItsAddress) {
  PageFiles files(*paths_, root_, "", {}, 1000);
  const std::string url = files.UrlOf("sub/notes.md");
  EXPECT_EQ(url, "file://" + root_ + "/sub/notes.md");
  files.Provide(url, "<h1>made</h1>");
  office::QuestionReply reply = Ask(files, url);
  EXPECT_EQ(reply.message.Get("status"), "file");
  EXPECT_THAT(reply.message.Get("contentType").value_or(""), HasSubstr("text/html"));
  char bytes[32] = {};
  EXPECT_EQ(
      std::string(bytes, static_cast<std::size_t>(os::ReadSome(reply.file, bytes, sizeof bytes))),
      "<h1>made</h1>");
}

}  // namespace
}  // namespace pdf::html
