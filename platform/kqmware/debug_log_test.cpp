#include <gtest/gtest.h>

#include <regex>

#include "platform/kqmware/debug_log.h"
#include "platform/kqmware/kqm_server.h"
#include "platform/kqmware/program_options.h"
#include "platform/kqtypes/kqtypes.h"
#include "platform/os/os.h"
#include "tests/support/test_support.h"

namespace {

TEST(UtcTimestamp, Table) {
  using std::chrono::milliseconds;
  using std::chrono::system_clock;
  struct Case {
    std::int64_t millis;
    const char* expected;
  };
  for (const Case& c :
       {Case{0, "1970-01-01T00:00:00.000Z"}, Case{951782400123, "2000-02-29T00:00:00.123Z"},
        Case{1796761174999, "2026-12-08T20:19:34.999Z"}, Case{-1, "1969-12-31T23:59:59.999Z"}}) {
    EXPECT_EQ(kqm::UtcTimestamp(system_clock::time_point(milliseconds(c.millis))), c.expected);
  }
}

TEST(FormatDebugLine, HoldsEveryFieldOnOneLine) {
  EXPECT_EQ(kqm::FormatDebugLine("T", "NTR", 12, 34, 3, "a\nb\rc"), "T NTR 12 34 3 a b c");
  EXPECT_EQ(kqm::FormatDebugLine("T", "", 1, 2, 0, ""), "T - 1 2 0 ");
}

TEST(DebugChannel, WritesOnlyLevelsUpToTheDebugLevel) {
  vtps_test::TempDir dir;
  std::string log = dir.File("debug.log");
  {
    ASSERT_TRUE(kqm::DebugLog::Instance().Configure(log));
    KQM_TServer server;
    server.SetDebugLevel(2);
    server.DBG_Type(0, "level zero");
    server.DBG_Type(2, KQ_TString("level two"));
    server.DBG_Type(3, std::string("level three"));
    server.SetDebugLevel(-1);
    server.DBG_Type(0, "hidden");
  }
  kqm::DebugLog::Instance().Configure();

  std::string text = vtps_test::ReadFile(log);
  std::regex line(
      "\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z kqmware_test \\d+ \\d+ 0 level "
      "zero\n"
      "\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z kqmware_test \\d+ \\d+ 2 level "
      "two\n");
  EXPECT_TRUE(std::regex_match(text, line)) << text;
}

TEST(DebugChannel, UnopenableLogIsReported) {
  vtps_test::TempDir dir;
  EXPECT_FALSE(kqm::DebugLog::Instance().Configure(dir.File("no/such/folder/debug.log")));
  EXPECT_TRUE(kqm::DebugLog::Instance().Configure(""));
}

// The initialisation function and a first use open the log the program's options name.
TEST(DebugChannel, OpensTheLogTheProgramsOptionsName) {
  vtps_test::TempDir dir;
  kqm::ProgramOptions earlier = kqm::ProgramOptionsInUse();
  kqm::ProgramOptions options;
  options.debugLog = dir.File("debug.log");
  kqm::UseProgramOptions(options);
  ASSERT_TRUE(kqm::DebugLog::Instance().Configure());
  kqm::DebugLog::Instance().Write("a line");
  kqm::UseProgramOptions(earlier);
  kqm::DebugLog::Instance().Configure();
  EXPECT_EQ(vtps_test::ReadFile(options.debugLog), "a line\n");
}

}  // namespace
