#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <set>

#include "jobs/command_line.h"
#include "platform/kqtypes/kqtypes.h"
#include "platform/os/os.h"
#include "server/vt_process_server.h"
#include "tests/support/server_environment.h"

namespace {

namespace fs = std::filesystem;

bool OnCmd() {
  return os::NativeCommandDialect() == os::CommandDialect::kCmd;
}

// The test processors' folder, in this platform's spelling, ending in a separator.
std::string TestProcessors() {
  return vtps_test::NativePath(std::string(VTPS_SOURCE_DIR) + "/processors/test/");
}

class ExecuteTest : public ::testing::Test {
 protected:
  explicit ExecuteTest(int debugLevel = 4) : environment_(debugLevel) {
    server_.programDirectory = TestProcessors();
    server_.workingDirectory = KQ_TURL(environment_.JobsUrl());
    for (const char* name :
         {"untouched", "fixed-answer", "exit3", "malformed", "misnamed", "delete-job"}) {
      server_.processors[KQ_TString(name)] =
          KQ_TString(std::string(name) + (OnCmd() ? ".cmd" : ".sh"));
    }
  }

  std::vector<std::string> JobFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(environment_.JobsDir()))
      names.push_back(entry.path().filename().string());
    return names;
  }

  bool Logged(int level, const std::string& text) const {
    return environment_.Log().find(" " + std::to_string(level) + " " + text + "\n") !=
           std::string::npos;
  }

  static KQ_TDict Parameters() {
    KQ_TDict parameters;
    parameters["file"] = "in.pdf";
    KQ_TDict options;
    options["mode"] = "fast";
    parameters["options"] = options;
    KQ_TArray pages;
    pages.Append("1");
    pages.Append("2");
    parameters["page"] = pages;
    return parameters;
  }

  vtps_test::ServerEnvironment environment_;
  VTProcessServer server_;
};

TEST_F(ExecuteTest, FixedAnswerIsConvertedAndTheFileDeleted) {
  KQ_TDict answer = server_.Execute("fixed-answer", Parameters());
  ASSERT_NE(answer["status"].DynamicCast<KQ_TString>(), nullptr) << environment_.Log();
  EXPECT_EQ(answer["status"].DynamicCast<KQ_TString>()->Text(), "done");
  ASSERT_NE(answer["pages"].DynamicCast<KQ_TString>(), nullptr);
  EXPECT_EQ(answer["pages"].DynamicCast<KQ_TString>()->Text(), "3");
  const KQ_TDict* info = answer["info"].DynamicCast<KQ_TDict>();
  ASSERT_NE(info, nullptr);
  ASSERT_NE((*info)["title"].DynamicCast<KQ_TString>(), nullptr);
  EXPECT_EQ((*info)["title"].DynamicCast<KQ_TString>()->Text(), "Fixed answer");
  const KQ_TDict* files = answer["fileArray"].DynamicCast<KQ_TDict>();
  ASSERT_NE(files, nullptr);
  const KQ_TArray* list = (*files)["file"].DynamicCast<KQ_TArray>();
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->Count(), 2u);
  EXPECT_EQ((*list)[1].DynamicCast<KQ_TString>()->Text(), "two.pdf");
  EXPECT_TRUE(JobFiles().empty());
  EXPECT_TRUE(Logged(1, "Receiving Execute call"));
}

TEST_F(ExecuteTest, UntouchedFileGivesTheParametersBackWithArraysWrapped) {
  KQ_TDict answer = server_.Execute("untouched", Parameters());
  ASSERT_EQ(answer.Count(), 3u);
  ASSERT_NE(answer["file"].DynamicCast<KQ_TString>(), nullptr);
  ASSERT_NE(answer["options"].DynamicCast<KQ_TDict>(), nullptr);
  EXPECT_EQ(answer["file"].DynamicCast<KQ_TString>()->Text(), "in.pdf");
  EXPECT_EQ((*answer["options"].DynamicCast<KQ_TDict>())["mode"].DynamicCast<KQ_TString>()->Text(),
            "fast");
  const KQ_TDict* wrapper = answer["pageArray"].DynamicCast<KQ_TDict>();
  ASSERT_NE(wrapper, nullptr);
  ASSERT_NE((*wrapper)["page"].DynamicCast<KQ_TArray>(), nullptr);
  EXPECT_EQ((*wrapper)["page"].DynamicCast<KQ_TArray>()->Count(), 2u);
}

TEST_F(ExecuteTest, NonZeroExitIsLoggedStillConvertedAndKept) {
  KQ_TDict answer = server_.Execute("exit3", Parameters());
  ASSERT_NE(answer["status"].DynamicCast<KQ_TString>(), nullptr) << environment_.Log();
  EXPECT_EQ(answer["status"].DynamicCast<KQ_TString>()->Text(), "failed");
  ASSERT_EQ(JobFiles().size(), 1u);
  std::string job = (fs::path(environment_.JobsDir()) / JobFiles()[0]).string();
  std::string log = environment_.Log();
  std::size_t failed = log.find(" 0 Failed to spawn command : ");
  ASSERT_NE(failed, std::string::npos) << log;
  std::string line = log.substr(failed, log.find('\n', failed) - failed);
  EXPECT_NE(line.find("exit3"), std::string::npos);
  EXPECT_NE(line.find(" -r -i " + vtps_test::NativePath(job)), std::string::npos) << line;
  EXPECT_NE(log.find(" 3 Executing following command: " +
                     line.substr(std::string(" 0 Failed to spawn command : ").size())),
            std::string::npos);
}

TEST_F(ExecuteTest, UnreadableAnswersGiveAnEmptyDictionary) {
  for (const char* method : {"malformed", "delete-job"}) {
    KQ_TDict answer = server_.Execute(method, Parameters());
    EXPECT_TRUE(answer.Empty()) << method;
  }
  EXPECT_TRUE(JobFiles().empty());
  EXPECT_FALSE(Logged(0, "VantricProcessServer Exception when spawning the command."));
}

TEST_F(ExecuteTest, FailedConversionKeepsTheEntriesBeforeIt) {
  KQ_TDict answer = server_.Execute("misnamed", Parameters());
  ASSERT_EQ(answer.Count(), 2u);
  ASSERT_NE(answer["first"].DynamicCast<KQ_TString>(), nullptr);
  ASSERT_NE(answer["second"].DynamicCast<KQ_TString>(), nullptr);
  EXPECT_EQ(answer["first"].DynamicCast<KQ_TString>()->Text(), "kept");
  EXPECT_EQ(answer["second"].DynamicCast<KQ_TString>()->Text(), "kept too");
  EXPECT_TRUE(Logged(0, "VantricProcessServer Exception when spawning the command."));
  EXPECT_TRUE(JobFiles().empty());  // the command itself returned 0
}

TEST_F(ExecuteTest, UnknownMethodWritesAndRunsNothing) {
  EXPECT_TRUE(server_.Execute("Untouched", Parameters()).Empty());  // names are case-sensitive
  EXPECT_TRUE(Logged(0, "VantricProcessServer Exception Processor not found."));
  EXPECT_TRUE(JobFiles().empty());
  EXPECT_EQ(environment_.Log().find("Executing following command"), std::string::npos);
}

TEST_F(ExecuteTest, UnwritableJobFileIsLoggedAndNothingRuns) {
  server_.workingDirectory = KQ_TURL(environment_.JobsUrl() + "/missing-folder");
  EXPECT_TRUE(server_.Execute("fixed-answer", Parameters()).Empty());
  EXPECT_TRUE(Logged(0, "VantricProcessServer Exception when generating XML file."));
  EXPECT_EQ(environment_.Log().find("Executing following command"), std::string::npos);
}

TEST_F(ExecuteTest, WorkingDirectoryWithoutLocalPathLeavesExecute) {
  server_.workingDirectory = KQ_TURL(KQ_TString("http://example.org/jobs"));
  EXPECT_THROW(server_.Execute("fixed-answer", Parameters()), KQ_EException);
}

TEST_F(ExecuteTest, DebugLevelFiveKeepsEveryJobFile) {
  for (int level = 0; level <= 5; ++level) {
    server_.SetDebugLevel(level);
    server_.Execute("untouched", Parameters());
    EXPECT_EQ(JobFiles().size(), level < 5 ? 0u : 1u) << "level " << level;
  }
}

TEST_F(ExecuteTest, ProgramPathVariableCases) {
  const char* variable = "VTPS_EXECUTE_TEST_HOME";
  server_.progPathEnvVar = KQ_TString(variable);
  std::string processors = vtps_test::NativePath(std::string(VTPS_SOURCE_DIR) + "/processors");
  server_.programDirectory = OnCmd() ? "test\\" : "test/";
  std::string separator = OnCmd() ? "\\" : "/";
  struct Case {
    std::optional<std::string> value;
    bool warned;
    bool answered;
  };
  for (const Case& c : {Case{std::nullopt, true, false}, Case{std::string(""), true, false},
                        Case{processors, false, true}, Case{processors + separator, false, true}}) {
    if (c.value) {
      os::SetEnv(variable, *c.value);
    } else {
      os::UnsetEnv(variable);
    }
    std::size_t logBefore = environment_.Log().size();
    KQ_TDict answer = server_.Execute("fixed-answer", Parameters());
    std::string log = environment_.Log().substr(logBefore);
    EXPECT_EQ(log.find(" 2 Program Path Environment Variable is undefined\n") != std::string::npos,
              c.warned)
        << log;
    EXPECT_EQ(!answer.Empty() && answer.Find("status") != nullptr, c.answered) << log;
    if (c.answered) {
      std::string base = *c.value + separator;
      EXPECT_NE(log.find("cd " + base + server_.programDirectory.Text() + " "), std::string::npos)
          << log;
    }
  }
  os::UnsetEnv(variable);
}

TEST_F(ExecuteTest, ProgramFileAndDirectoryEndAtTheirFirstNul) {
  // A configuration value may hold a NUL; the command line takes each value up to it, so the
  // processor still gets its arguments instead of a command cut short before them.
  const std::string tail("\0 ; exit 0", 10);
  const std::string program = std::string("fixed-answer") + (OnCmd() ? ".cmd" : ".sh");
  const std::string directory = TestProcessors();
  struct Case {
    std::string programDirectory;
    std::string program;
  };
  for (const Case& c : {Case{directory, program + tail}, Case{directory + tail, program}}) {
    server_.programDirectory = KQ_TString(c.programDirectory);
    server_.processors[KQ_TString("fixed-answer")] = KQ_TString(c.program);
    std::size_t logBefore = environment_.Log().size();
    KQ_TDict answer = server_.Execute("fixed-answer", Parameters());
    std::string log = environment_.Log().substr(logBefore);
    ASSERT_NE(answer["status"].DynamicCast<KQ_TString>(), nullptr) << log;
    EXPECT_EQ(answer["status"].DynamicCast<KQ_TString>()->Text(), "done");
    EXPECT_NE(log.find(directory + program + " -r -i "), std::string::npos) << log;
    EXPECT_EQ(log.find('\0'), std::string::npos);
  }
}

TEST_F(ExecuteTest, WithoutVariableNoWarningAndNoDriveSwitch) {
  server_.Execute("untouched", Parameters());
  EXPECT_EQ(environment_.Log().find("Program Path Environment Variable"), std::string::npos);
  EXPECT_NE(environment_.Log().find("Executing following command: cd " + TestProcessors()),
            std::string::npos)
      << environment_.Log();
}

TEST_F(ExecuteTest, DriveSwitchRunsThroughTheCommandInterpreter) {
  if (!OnCmd())
    GTEST_SKIP() << "drive switches belong to cmd.exe";
  // Under Wine the processors live on drive Z:, a drive of their own.
  std::string processors = vtps_test::NativePath(std::string(VTPS_SOURCE_DIR) + "/processors");
  ASSERT_EQ(processors[1], ':');
  os::SetEnv("VTPS_EXECUTE_TEST_DRIVE", processors);
  server_.progPathEnvVar = KQ_TString("VTPS_EXECUTE_TEST_DRIVE");
  server_.programDirectory = "test\\";
  KQ_TDict answer = server_.Execute("fixed-answer", Parameters());
  EXPECT_NE(answer.Find("status"), nullptr) << environment_.Log();
  EXPECT_NE(environment_.Log().find("Executing following command: " + processors.substr(0, 2) +
                                    " & cd " + processors + "\\test\\ & "),
            std::string::npos)
      << environment_.Log();
  os::UnsetEnv("VTPS_EXECUTE_TEST_DRIVE");
}

class ExecuteKeepingFilesTest : public ExecuteTest {
 protected:
  ExecuteKeepingFilesTest() : ExecuteTest(5) {}
};

TEST_F(ExecuteKeepingFilesTest, ConcurrentRequestsUseTheirOwnFilesAndAnswers) {
  constexpr int kRequests = 6;
  std::vector<std::future<KQ_TDict>> answers;
  for (int i = 0; i < kRequests; ++i) {
    answers.push_back(std::async(std::launch::async, [this, i] {
      KQ_TDict parameters;
      parameters["request"] = std::to_string(i);
      return server_.Execute("untouched", parameters);
    }));
  }
  for (int i = 0; i < kRequests; ++i) {
    KQ_TDict answer = answers[static_cast<std::size_t>(i)].get();
    ASSERT_NE(answer["request"].DynamicCast<KQ_TString>(), nullptr);
    EXPECT_EQ(answer["request"].DynamicCast<KQ_TString>()->Text(), std::to_string(i));
  }
  std::vector<std::string> files = JobFiles();
  EXPECT_EQ(std::set<std::string>(files.begin(), files.end()).size(),
            static_cast<std::size_t>(kRequests));
}

}  // namespace
