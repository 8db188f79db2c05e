#include "jobs/job_secrets.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <boost/property_tree/xml_parser.hpp>

#include "jobs/job_file.h"
#include "jobs/xml_text.h"
#include "mapping/test_values.h"
#include "platform/kqtypes/kqtypes.h"
#include "platform/os/os.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using boost::property_tree::ptree;
using Outcome = SecretRemoval::Outcome;

ptree Tree(std::string xml) {
  return xml_text::Parse(xml);
}

TEST(ParseSecretKeys, ListsNamesOrRefusesNamingTheSetting) {
  struct Case {
    std::optional<std::string> value;
    std::vector<std::string> keys;
  };
  for (const Case& c : {
           Case{std::nullopt, {"password", "userPassword", "ownerPassword"}},
           Case{"", {}},
           Case{" \t", {}},
           Case{"pin", {"pin"}},
           Case{" pin , secret,pin ", {"pin", "secret"}},
       }) {
    EXPECT_EQ(ParseSecretKeys(c.value), c.keys) << c.value.value_or("(unset)");
  }
  for (const char* bad : {"a,,b", ",", "a,", "a b", "x<y", "1st"}) {
    try {
      ParseSecretKeys(std::string(bad));
      ADD_FAILURE() << bad << " accepted";
    } catch (const KQ_EException& error) {
      EXPECT_EQ(
          error.KQ_Message().Text().rfind(std::string("VTPS_SECRET_KEYS is \"") + bad + "\"", 0),
          0u)
          << error.KQ_Message().Text();
    }
  }
}

TEST(RemoveSecretValues, EmptiesTheValuesAtAnyDepthAndKeepsTheRest) {
  struct Case {
    const char* what;
    std::string before;
    std::string after;
    std::vector<std::string> removed;
  };
  for (const Case& c : {
           Case{"top level",
                "<password>s</password><file>a.pdf</file>",
                "<password/><file>a.pdf</file>",
                {"password"}},
           Case{"in a sub-element",
                "<o><userPassword>u</userPassword><m>x</m></o>",
                "<o><userPassword/><m>x</m></o>",
                {"userPassword"}},
           Case{"in an array",
                "<passwordArray><password>a</password><password>b</password></passwordArray>",
                "<passwordArray><password/><password/></passwordArray>",
                {"password"}},
           Case{"an attribute",
                "<doc password=\"s\" mode=\"m\">t</doc>",
                "<doc password=\"\" mode=\"m\">t</doc>",
                {"password"}},
           Case{"an element with children",
                "<password><a>1</a><b x=\"2\"/></password><c/>",
                "<password/><c/>",
                {"password"}},
           Case{"several, reported in the keys' order",
                "<ownerPassword>o</ownerPassword><x><password>p</password></x>",
                "<ownerPassword/><x><password/></x>",
                {"password", "ownerPassword"}},
           Case{"already empty", "<password/><password></password>", "<password/><password/>", {}},
           Case{"names are matched whole and by case",
                "<Password>a</Password><passwords>b</passwords><mypassword>c</mypassword>",
                "<Password>a</Password><passwords>b</passwords><mypassword>c</mypassword>",
                {}},
           Case{"a comment is no key", "<!--password--><a>1</a>", "<!--password--><a>1</a>", {}},
       }) {
    ptree tree = Tree(c.before);
    EXPECT_EQ(RemoveSecretValues(tree, DefaultSecretKeys()), c.removed) << c.what;
    EXPECT_TRUE(tree == Tree(c.after)) << c.what;
  }
  ptree tree = Tree("<password>s</password>");
  EXPECT_TRUE(RemoveSecretValues(tree, {}).empty());
  EXPECT_TRUE(tree == Tree("<password>s</password>"));
}

class SecretRemovalTest : public ::testing::Test {
 protected:
  std::string Job() const { return dir_.File("_VTPS_m_1_2.xml"); }

  // The job file as the server writes it for these parameters.
  void WriteJob(const std::string& xml) const { WriteNewJobFile(Tree(xml), Job()); }

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_.Path()))
      names.push_back(entry.path().filename().string());
    return names;
  }

  vtps_test::TempDir dir_;
};

TEST_F(SecretRemovalTest, RewritesAFileWithSecretsAndKeepsTheRest) {
  const std::string rest =
      "<file>in.pdf</file><options><mode>fast</mode></options>"
      "<pageArray><page>1</page><page>2</page></pageArray><!-- note -->";
  WriteJob("<password>s3cret</password>" + rest + "<o><ownerPassword>own3r</ownerPassword></o>");
  SecretRemoval removal = RemoveSecretsFromJobFile(Job(), DefaultSecretKeys(), 0);
  EXPECT_EQ(removal.outcome, Outcome::kRemoved) << removal.problem;
  EXPECT_EQ(removal.removedKeys, (std::vector<std::string>{"password", "ownerPassword"}));
  std::string text = vtps_test::ReadFile(Job());
  EXPECT_EQ(text.find("s3cret"), std::string::npos) << text;
  EXPECT_EQ(text.find("own3r"), std::string::npos) << text;
  // Byte for byte what the server writes for the parameters without the secret values.
  std::string expected = WriteNewJobFile(Tree("<password/>" + rest + "<o><ownerPassword/></o>"),
                                         dir_.File("expected.xml"));
  EXPECT_EQ(text, vtps_test::ReadFile(expected));
  fs::remove(expected);
  EXPECT_EQ(Names(), std::vector<std::string>{"_VTPS_m_1_2.xml"});  // nothing left beside it
  if (os::PathSeparator() == '/') {
    EXPECT_EQ(fs::status(Job()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
  }
  EXPECT_EQ(KeptJobFileLine(Job(), removal),
            "Job file kept: " + Job() + ". Secret values removed: password, ownerPassword.");
}

// Files without secret values, and files that cannot be read, stay byte for byte.
TEST_F(SecretRemovalTest, LeavesOtherFilesAsTheyAre) {
  struct Case {
    const char* what;
    std::string content;
    std::uintmax_t maxBytes;
    Outcome outcome;
    const char* problem;  // how it begins
  };
  const std::string secret = "<password>s3cret</password>";
  for (const Case& c : {
           Case{"no secret", "<a>1</a>\n<password/>\n", 0, Outcome::kNoSecrets, ""},
           Case{"malformed", secret + "<a>", 0, Outcome::kNotRemoved, "malformed XML"},
           Case{"too deep", secret + mapping_test::Nested(513), 0, Outcome::kNotRemoved,
                "elements nested deeper than 512 levels"},
           Case{"over the limit", secret, 10, Outcome::kNotRemoved,
                "larger than the answer limit (27 bytes)"},
       }) {
    vtps_test::WriteFile(Job(), c.content);
    SecretRemoval removal = RemoveSecretsFromJobFile(Job(), DefaultSecretKeys(), c.maxBytes);
    EXPECT_EQ(removal.outcome, c.outcome) << c.what;
    EXPECT_EQ(removal.problem.rfind(c.problem, 0), 0u) << c.what << ": " << removal.problem;
    EXPECT_EQ(vtps_test::ReadFile(Job()), c.content) << c.what;
    EXPECT_EQ(Names().size(), 1u) << c.what;
  }
  EXPECT_EQ(KeptJobFileLine(Job(), {Outcome::kNoSecrets, {}, ""}), "Job file kept: " + Job() + ".");
  EXPECT_EQ(KeptJobFileLine(Job(), {Outcome::kNotRemoved, {}, "malformed XML"}),
            "Job file kept: " + Job() + ". Secret values not removed: malformed XML.");

  fs::remove(Job());
  SecretRemoval missing = RemoveSecretsFromJobFile(Job(), DefaultSecretKeys(), 0);
  EXPECT_EQ(missing.outcome, Outcome::kNoFile);
  EXPECT_EQ(KeptJobFileLine(Job(), missing), std::nullopt);
}

// The rewrite's own file is made exclusively too: a link planted at its name is passed by.
TEST_F(SecretRemovalTest, APlantedLinkAtTheRewriteNameIsNotFollowed) {
  if (os::PathSeparator() != '/')
    GTEST_SKIP() << "links are POSIX here";
  vtps_test::WriteFile(dir_.File("outside"), "untouched");
  fs::create_symlink(dir_.File("outside"), Job() + ".scrub");
  WriteJob("<password>s3cret</password><a>1</a>");
  EXPECT_EQ(RemoveSecretsFromJobFile(Job(), DefaultSecretKeys(), 0).outcome, Outcome::kRemoved);
  EXPECT_EQ(vtps_test::ReadFile(dir_.File("outside")), "untouched");
  EXPECT_TRUE(ReadJobFile(Job()) == Tree("<password/><a>1</a>"));
  EXPECT_TRUE(fs::is_symlink(Job() + ".scrub"));
}

}  // namespace
