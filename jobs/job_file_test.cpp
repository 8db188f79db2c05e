#include "jobs/job_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <locale>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <boost/property_tree/xml_parser.hpp>

#include "mapping/dict_to_tree.h"
#include "mapping/test_values.h"
#include "mapping/tree_to_dict.h"
#include "platform/kqtypes/kqtypes.h"
#include "platform/os/os.h"

namespace {

using mapping_test::Nested;

namespace fs = std::filesystem;
using boost::property_tree::ptree;
using boost::property_tree::xml_parser_error;

KQ_TDict Dict(std::initializer_list<std::pair<std::string, KQ_TAny>> entries) {
  KQ_TDict dictionary;
  for (const auto& entry : entries)
    dictionary[entry.first] = entry.second;
  return dictionary;
}

KQ_TArray Array(std::initializer_list<KQ_TAny> elements) {
  KQ_TArray array;
  for (const KQ_TAny& element : elements)
    array.Append(element);
  return array;
}

std::string Printed(const KQ_IPrintable& value) {
  std::ostringstream out;
  value.PrintOn(out);
  return out.str();
}

// A folder of its own per test, removed afterwards.
class JobFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("vtps_job_file_test_" + std::to_string(os::ProcessId()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }

  void WriteBytes(const std::string& name, const std::string& bytes) const {
    std::ofstream out(PathOf(name), std::ios::binary);
    out << bytes;
  }

  static std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }

  // What a line end becomes in a file written in text mode on this platform.
  std::string TextModeLineEnd() const {
    std::string path = PathOf("line_end");
    {
      std::ofstream out(path);
      out << '\n';
    }
    return ReadBytes(path);
  }

  fs::path dir_;
};

TEST(JobFileName, PiecesInOrder) {
  struct Case {
    const char* method;
    std::int64_t seconds;
    std::uint32_t threadId;
    const char* name;
  };
  for (const Case& c : {
           Case{"dummy", 1'700'000'000, 4242, "_VTPS_dummy_1700000000_4242.xml"},
           Case{"", 0, 0, "_VTPS__0_0.xml"},
           Case{"Merge PDF", -5, 7, "_VTPS_Merge PDF_-5_7.xml"},
           Case{"sub\\x", 9'223'372'036'854'775'807, 4'294'967'295u,
                "_VTPS_sub\\x_9223372036854775807_4294967295.xml"},
       }) {
    EXPECT_EQ(JobFileName(KQ_TString(c.method), c.seconds, c.threadId), c.name);
  }
}

// A global locale that groups digits must not reach the numbers of the name.
TEST(JobFileName, NumbersIgnoreTheGlobalLocale) {
  struct Grouping : std::numpunct<char> {
    char do_thousands_sep() const override { return ','; }
    std::string do_grouping() const override { return "\3"; }
  };
  std::locale previous = std::locale::global(std::locale(std::locale::classic(), new Grouping));
  std::string name = JobFileName(KQ_TString("m"), 1'234'567, 89'012);
  std::locale::global(previous);
  EXPECT_EQ(name, "_VTPS_m_1234567_89012.xml");
}

TEST(JobFilePath, LocalPathSeparatorAndName) {
  struct Case {
    const char* directory;
    char separator;
    const char* path;
  };
  for (const Case& c : {
           Case{"/var/vtps", '/', "/var/vtps/_VTPS_dummy_12_34.xml"},
           Case{"/var/vtps/", '/', "/var/vtps//_VTPS_dummy_12_34.xml"},
           Case{"C:\\vtps", '\\', "C:\\vtps\\_VTPS_dummy_12_34.xml"},
           Case{"C:\\vtps\\", '\\', "C:\\vtps\\\\_VTPS_dummy_12_34.xml"},
       }) {
    EXPECT_EQ(
        JobFilePath(KQ_TURL(KQ_TString(c.directory)), KQ_TString("dummy"), 12, 34, c.separator),
        c.path);
  }
  EXPECT_THROW(JobFilePath(KQ_TURL(KQ_TString("http://host/x")), KQ_TString("m"), 1, 2, '/'),
               KQ_EException);
}

TEST_F(JobFileTest, WritesTheWorkedExampleByteForByte) {
  KQ_TDict parameters = Dict({{"title", "Report"},
                              {"options", Dict({{"mode", "fast"}})},
                              {"file", Array({"one", "two"})},
                              {"page", Array({Dict({{"n", "1"}}), Dict({{"n", "2"}})})}});
  std::string path = PathOf("example.xml");
  WriteJobFile(DictToTree(parameters), path);
  // A new job file gets the very same bytes.
  std::string newPath = WriteNewJobFile(DictToTree(parameters), PathOf("new.xml"));
  std::string expected =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
      "<title>Report</title>\n"
      "<options>\n"
      "\t<mode>fast</mode>\n"
      "</options>\n"
      "<fileArray>\n"
      "\t<file>one</file>\n"
      "\t<file>two</file>\n"
      "</fileArray>\n"
      "<pageArray>\n"
      "\t<page>\n"
      "\t\t<n>1</n>\n"
      "\t</page>\n"
      "\t<page>\n"
      "\t\t<n>2</n>\n"
      "\t</page>\n"
      "</pageArray>\n";
  // The file is a text file: on Windows every line ends in CR LF, as the library writes it.
  std::string lineEnd = TextModeLineEnd();
  std::string expectedBytes;
  for (char c : expected)
    expectedBytes += c == '\n' ? lineEnd : std::string(1, c);
  EXPECT_EQ(ReadBytes(path), expectedBytes);
  EXPECT_EQ(ReadBytes(newPath), expectedBytes);
}

TEST_F(JobFileTest, WrittenFileReadsBackAsTheAnswer) {
  KQ_TDict parameters = Dict({{"title", "Report"},
                              {"options", Dict({{"mode", "fast"}})},
                              {"file", Array({"one", "two"})},
                              {"page", Array({Dict({{"n", "1"}}), Dict({{"n", "2"}})})},
                              {"note", "  <a & b>\n  line two\t"}});
  std::string path = PathOf("round_trip.xml");
  WriteJobFile(DictToTree(parameters), path);
  KQ_TDict answer;
  TreeToDict(ReadJobFile(path), answer);
  KQ_TDict expected =
      Dict({{"title", "Report"},
            {"options", Dict({{"mode", "fast"}})},
            {"fileArray", Dict({{"file", Array({"one", "two"})}})},
            {"pageArray", Dict({{"page", Array({Dict({{"n", "1"}}), Dict({{"n", "2"}})})}})},
            {"note", "  <a & b>\n  line two\t"}});
  EXPECT_TRUE(answer.KQ_IsIdent(expected)) << Printed(answer);
}

TEST_F(JobFileTest, EmptyTreeGivesTheDeclarationOnly) {
  std::string path = PathOf("empty.xml");
  WriteJobFile(ptree(), path);
  EXPECT_EQ(ReadBytes(path), "<?xml version=\"1.0\" encoding=\"utf-8\"?>" + TextModeLineEnd());
  EXPECT_TRUE(ReadJobFile(path).empty());
}

TEST_F(JobFileTest, SecondWriteTruncates) {
  std::string path = PathOf("same.xml");
  ptree big;
  big.put("a", std::string(10'000, 'x'));
  WriteJobFile(big, path);
  ptree small;
  small.put("b", "1");
  WriteJobFile(small, path);
  ptree read = ReadJobFile(path);
  EXPECT_EQ(read.size(), 1u);
  EXPECT_EQ(read.get<std::string>("b"), "1");
}

// A kept job file, or anything else at the name, is never written over: the next number is
// taken, in the same step as the creation.
TEST_F(JobFileTest, NewJobFileTakesTheFirstFreeName) {
  ptree tree;
  tree.put("a", "1");
  const std::string base = PathOf("_VTPS_m_12_34.xml");
  struct Case {
    std::vector<std::string> existing;
    std::string expected;
  };
  for (const Case& c : {
           Case{{}, "_VTPS_m_12_34.xml"},
           Case{{"_VTPS_m_12_34.xml"}, "_VTPS_m_12_34_2.xml"},
           Case{{"_VTPS_m_12_34.xml", "_VTPS_m_12_34_2.xml"}, "_VTPS_m_12_34_3.xml"},
           Case{{"_VTPS_m_12_34_2.xml"}, "_VTPS_m_12_34.xml"},
       }) {
    for (const std::string& name : c.existing)
      WriteBytes(name, "kept");
    EXPECT_EQ(WriteNewJobFile(tree, base), PathOf(c.expected));
    for (const std::string& name : c.existing)
      EXPECT_EQ(ReadBytes(PathOf(name)), "kept") << name;
    EXPECT_EQ(ReadJobFile(PathOf(c.expected)).get<std::string>("a"), "1");
    for (const auto& entry : fs::directory_iterator(dir_))
      fs::remove(entry.path());
  }
  EXPECT_EQ(NumberedJobFilePath(PathOf("job"), 1), PathOf("job"));
  EXPECT_EQ(NumberedJobFilePath(PathOf("job"), 2), PathOf("job_2"));
  EXPECT_EQ(NumberedJobFilePath(PathOf("a.xml"), 10), PathOf("a_10.xml"));
}

TEST_F(JobFileTest, NewJobFileIsPrivateAndNeverWrittenThroughALink) {
  if (os::PathSeparator() != '/')
    GTEST_SKIP() << "file modes and links are POSIX here";
  ptree tree;
  tree.put("password", "s3cret");
  const std::string base = PathOf("_VTPS_m_12_34.xml");
  WriteBytes("outside", "untouched");
  // Someone who may write into the working folder plants links at the names to come: to a
  // file of theirs, and to a name where they would like a file to appear.
  fs::create_symlink(PathOf("outside"), base);
  fs::create_symlink(PathOf("created-through-link"), PathOf("_VTPS_m_12_34_2.xml"));
  std::string written = WriteNewJobFile(tree, base);
  EXPECT_EQ(written, PathOf("_VTPS_m_12_34_3.xml"));
  EXPECT_EQ(ReadBytes(PathOf("outside")), "untouched");
  EXPECT_FALSE(fs::exists(PathOf("created-through-link")));
  EXPECT_EQ(fs::symlink_status(written).type(), fs::file_type::regular);
  EXPECT_EQ(fs::status(written).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(JobFileTest, NewJobFileRefusedForAnotherReasonNamesThePathAndTheCause) {
  ptree tree;
  tree.put("a", "1");
  const std::string path = PathOf("missing") + os::PathSeparator() + "_VTPS_m_1_2.xml";
  try {
    WriteNewJobFile(tree, path);
    ADD_FAILURE() << "no error creating " << path;
  } catch (const xml_parser_error& error) {
    EXPECT_EQ(error.filename(), path);
    EXPECT_EQ(error.message().rfind("cannot create " + path + ": ", 0), 0u) << error.message();
    EXPECT_GT(error.message().size(), ("cannot create " + path + ": ").size());
  }
  EXPECT_FALSE(fs::exists(PathOf("missing")));
}

TEST_F(JobFileTest, UnopenablePathThrowsCannotOpenFile) {
  ptree tree;
  tree.put("a", "1");
  // A method name holding the separator points into a folder that does not exist.
  std::string path = JobFilePath(KQ_TURL(KQ_TString(dir_.string())),
                                 KQ_TString(std::string("missing") + os::PathSeparator() + "m"), 1,
                                 2, os::PathSeparator());
  try {
    WriteJobFile(tree, path);
    ADD_FAILURE() << "no error writing " << path;
  } catch (const xml_parser_error& error) {
    EXPECT_EQ(error.message(), "cannot open file");
    EXPECT_EQ(error.filename(), path);
  }
}

TEST_F(JobFileTest, FullDeviceIsAWriteError) {
  if (os::PathSeparator() == '\\' || !fs::exists("/dev/full"))
    GTEST_SKIP() << "needs /dev/full, a Linux device on which every write fails";
  struct Case {
    const char* what;
    std::size_t textSize;
  };
  // A small file fails only when its one buffer is flushed; a large one while written.
  for (const Case& c : {Case{"small", 10}, Case{"large", 1'000'000}}) {
    ptree tree;
    tree.put("a", std::string(c.textSize, 'x'));
    try {
      WriteJobFile(tree, "/dev/full");
      ADD_FAILURE() << c.what << ": a write to a full device passed as success";
    } catch (const xml_parser_error& error) {
      EXPECT_EQ(error.message(), "write error") << c.what;
      EXPECT_EQ(error.filename(), "/dev/full") << c.what;
    }
  }
}

TEST_F(JobFileTest, UnreadableFilesGiveAnEmptyTree) {
  struct Case {
    const char* what;
    std::string content;
    const char* problem;  // how the reason begins; "" for none (nothing to answer is no error)
  };
  for (const Case& c : {
           Case{"empty", "", ""},
           Case{"declaration only", "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n", ""},
           Case{"white space only", " \n\t\n", ""},
           Case{"unclosed element", "<a><b>1</b>", "malformed XML"},
           Case{"text outside elements", "<a/>text", "malformed XML"},
           Case{"bad attribute", "<a x=1/>", "malformed XML"},
           Case{"bad character reference", "<a>&#12</a>", "malformed XML"},
           Case{"513 levels", Nested(513), "elements nested deeper than 512 levels"},
           Case{"200000 levels", Nested(200'000), "elements nested deeper than 512 levels"},
           Case{"200000 levels, unclosed", std::string(Nested(200'000), 0, 600'000),
                "elements nested deeper than 512 levels"},
       }) {
    WriteBytes("answer.xml", c.content);
    std::string problem = "left over";
    ptree tree = ReadJobFile(PathOf("answer.xml"), problem);
    EXPECT_TRUE(tree.empty() && tree.data().empty()) << c.what;
    if (*c.problem == '\0') {
      EXPECT_EQ(problem, "") << c.what;
    } else {
      EXPECT_EQ(problem.rfind(c.problem, 0), 0u) << c.what << ": " << problem;
    }
    EXPECT_TRUE(ReadJobFile(PathOf("answer.xml")).empty()) << c.what;
  }
  std::string problem = "left over";
  EXPECT_TRUE(ReadJobFile(PathOf("missing.xml"), problem).empty());
  EXPECT_EQ(problem, "");
  EXPECT_TRUE(ReadJobFile(dir_.string()).empty());
  WriteBytes("answer.xml", "<a>1</a>");
  EXPECT_FALSE(ReadJobFile(PathOf("answer.xml"), problem).empty());
  EXPECT_EQ(problem, "");
}

TEST_F(JobFileTest, ReadsAsTheLibraryDoes) {
  WriteBytes("answer.xml",
             "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
             "<!-- done -->\n"
             "<result code=\"0\">  ok  </result>\n"
             "<out><file>a.pdf</file></out>\n");
  ptree tree = ReadJobFile(PathOf("answer.xml"));
  KQ_TDict answer;
  TreeToDict(tree, answer);
  EXPECT_EQ(Printed(answer),
            "{<xmlcomment>:  done , result: {<xmlattr>: {code: 0}}, out: {file: a.pdf}}");
  EXPECT_EQ(tree.get<std::string>("result"), "  ok  ");
}

// Reading must give exactly the tree the library's read_xml gives the same file, for every
// shape an answer file may take.
TEST_F(JobFileTest, ReadsWhatReadXmlReads) {
  for (const std::string& content : {
           std::string(
               "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<a>\r\n\t<b>1</b>\r\n</a>\r\n"),
           std::string("\xEF\xBB\xBF<a x='1' y=\"&quot;\">t<b/>u<!--c-->v</a>"),
           std::string("<!DOCTYPE a [<!ENTITY e \"x\">]><?pi data?><a>&e;&amp;&#65;&#x42;</a>"),
           std::string("<a><![CDATA[<raw> & ]]></a><a>  two  </a>"),
           std::string("<r>\n\t<s>\n\t\t<t>deep</t>\n\t</s>\n</r>\n"),
           std::string("<a>x</a>\0<b>after a NUL</b>", 27),
       }) {
    WriteBytes("answer.xml", content);
    ptree expected;
    boost::property_tree::read_xml(PathOf("answer.xml"), expected, 0);
    EXPECT_FALSE(expected.empty()) << content;
    EXPECT_TRUE(ReadJobFile(PathOf("answer.xml")) == expected) << content;
  }
}

TEST_F(JobFileTest, Reads512Levels) {
  WriteBytes("deep.xml", Nested(512));
  ptree tree = ReadJobFile(PathOf("deep.xml"));
  int depth = 0;
  for (const ptree* node = &tree; !node->empty(); node = &node->front().second)
    ++depth;
  EXPECT_EQ(depth, 512);
}

}  // namespace
