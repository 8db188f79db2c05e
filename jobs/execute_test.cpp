#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <latch>
#include <set>

#include "jobs/command_line.h"
#include "jobs/execute.h"
#include "platform/kqtypes/kqtypes.h"
#include "platform/os/os.h"
#include "tests/support/recording_debug_channel.h"
#include "tests/support/scoped_env.h"
#include "tests/support/test_support.h"

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
  explicit ExecuteTest(int debugLevel = 4) : debug_(debugLevel) {
    fs::create_directory(JobsDir());
    programDirectory_ = TestProcessors();
    workingDirectory_ = KQ_TURL(vtps_test::FileUrl(JobsDir()));
    for (const char* name :
         {"untouched", "fixed-answer", "exit3", "malformed", "misnamed", "delete-job"}) {
      processors_[KQ_TString(name)] = KQ_TString(std::string(name) + (OnCmd() ? ".cmd" : ".sh"));
    }
  }

  KQ_TDict Execute(const KQ_TString& method, const KQ_TDict& parameters) {
    ExecuteConfiguration configuration{processors_, progPathEnvVar_, programDirectory_,
                                       workingDirectory_};
    configuration.memoryLimitMiB = memoryLimitMiB_;
    configuration.runCommand = runCommand_;
    return ExecuteJob(debug_, configuration, method, parameters);
  }

  // A run that does not start a process: records the command line and the limits, and ends
  // as `result` says.
  void FakeRun(os::CommandResult result) {
    runCommand_ = [this, result](const std::string& line, std::chrono::milliseconds timeLimit,
                                 std::uint64_t memoryLimitMiB) {
      ranLine_ = line;
      ranTimeLimit_ = timeLimit;
      ranMemoryLimitMiB_ = memoryLimitMiB;
      return result;
    };
  }

  std::string JobsDir() const { return dir_.File("jobs"); }

  std::vector<std::string> JobFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(JobsDir()))
      names.push_back(entry.path().filename().string());
    return names;
  }

  // Every line written, for failure messages.
  std::string Log() const { return ::testing::PrintToString(debug_.Lines()); }

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

  // Parameters holding secrets, as a PdfEncrypt request would.
  static KQ_TDict SecretParameters() {
    KQ_TDict parameters = Parameters();
    parameters["userPassword"] = "us3r-secret";
    KQ_TDict owner;
    owner["password"] = "own3r-secret";
    parameters["owner"] = owner;
    return parameters;
  }

  vtps_test::TempDir dir_;
  vtps_test::RecordingDebugChannel debug_;
  ProcessorTable processors_;
  KQ_TString progPathEnvVar_;
  KQ_TString programDirectory_;
  KQ_TURL workingDirectory_;
  std::uint64_t memoryLimitMiB_ = 0;
  std::function<os::CommandResult(const std::string&, std::chrono::milliseconds, std::uint64_t)>
      runCommand_;
  // What the fake run saw.
  std::string ranLine_;
  std::chrono::milliseconds ranTimeLimit_{-1};
  std::uint64_t ranMemoryLimitMiB_ = 0;
};

TEST_F(ExecuteTest, FixedAnswerIsConvertedAndTheFileDeleted) {
  KQ_TDict answer = Execute("fixed-answer", Parameters());
  ASSERT_NE(answer["status"].DynamicCast<KQ_TString>(), nullptr) << Log();
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
  // The whole conversation at level 4: the call and the command, nothing else.
  std::vector<vtps_test::DebugLine> lines = debug_.Lines();
  ASSERT_EQ(lines.size(), 2u) << Log();
  EXPECT_EQ(lines[0], (vtps_test::DebugLine{1, "Receiving Execute call"}));
  EXPECT_EQ(lines[1].level, 3);
  EXPECT_TRUE(lines[1].text.starts_with("Executing following command: ")) << Log();
}

TEST_F(ExecuteTest, UntouchedFileGivesTheParametersBackWithArraysWrapped) {
  KQ_TDict answer = Execute("untouched", Parameters());
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
  KQ_TDict answer = Execute("exit3", Parameters());
  ASSERT_NE(answer["status"].DynamicCast<KQ_TString>(), nullptr) << Log();
  EXPECT_EQ(answer["status"].DynamicCast<KQ_TString>()->Text(), "failed");
  ASSERT_EQ(JobFiles().size(), 1u);
  std::string job = (fs::path(JobsDir()) / JobFiles()[0]).string();
  const std::string failedPrefix = "Failed to spawn command : ";
  std::optional<std::string> failed = debug_.Find(0, failedPrefix);
  ASSERT_TRUE(failed.has_value()) << Log();
  std::string commandLine = failed->substr(failedPrefix.size());
  EXPECT_NE(commandLine.find("exit3"), std::string::npos);
  EXPECT_NE(commandLine.find(" -r -i " + vtps_test::NativePath(job)), std::string::npos)
      << commandLine;
  EXPECT_TRUE(debug_.Logged(3, "Executing following command: " + commandLine)) << Log();
}

// A malformed answer is logged with the reader's reason; a removed one is a processor's way
// of answering nothing and is not.
TEST_F(ExecuteTest, UnreadableAnswersGiveAnEmptyDictionary) {
  const std::string unreadable = "VantricProcessServer Exception Answer file unreadable: ";
  struct Case {
    const char* method;
    bool logged;
  };
  for (const Case& c : {Case{"malformed", true}, Case{"delete-job", false}}) {
    debug_.Clear();
    KQ_TDict answer = Execute(c.method, Parameters());
    EXPECT_TRUE(answer.Empty()) << c.method;
    std::optional<std::string> line = debug_.Find(0, unreadable);
    EXPECT_EQ(line.has_value(), c.logged) << c.method << "\n" << Log();
    if (line) {
      EXPECT_EQ(line->rfind(unreadable + "malformed XML", 0), 0u) << *line;
    }
  }
  EXPECT_TRUE(JobFiles().empty());
  EXPECT_FALSE(debug_.Logged(0, "VantricProcessServer Exception when spawning the command."));
}

TEST_F(ExecuteTest, FailedConversionKeepsTheEntriesBeforeIt) {
  KQ_TDict answer = Execute("misnamed", Parameters());
  ASSERT_EQ(answer.Count(), 2u);
  ASSERT_NE(answer["first"].DynamicCast<KQ_TString>(), nullptr);
  ASSERT_NE(answer["second"].DynamicCast<KQ_TString>(), nullptr);
  EXPECT_EQ(answer["first"].DynamicCast<KQ_TString>()->Text(), "kept");
  EXPECT_EQ(answer["second"].DynamicCast<KQ_TString>()->Text(), "kept too");
  // The line says why: the conversion's reason follows.
  std::optional<std::string> line =
      debug_.Find(0, "VantricProcessServer Exception when spawning the command. Reason: ");
  ASSERT_TRUE(line.has_value()) << Log();
  EXPECT_NE(line->find("Reason: Unexpected array element name (expected file, found page)."),
            std::string::npos)
      << *line;
  EXPECT_TRUE(JobFiles().empty());  // the command itself returned 0
}

TEST_F(ExecuteTest, AProcessorThatCannotStartIsLoggedWithTheReason) {
  os::CommandResult refused;
  refused.failure = "cannot start /bin/sh: Resource temporarily unavailable";
  FakeRun(refused);
  Execute("untouched", Parameters());
  EXPECT_TRUE(debug_.Logged(0,
                            "VantricProcessServer Exception when spawning the command. Reason: "
                            "cannot start /bin/sh: Resource temporarily unavailable."))
      << Log();
  EXPECT_TRUE(debug_.Logged(0, "Failed to spawn command : " + ranLine_)) << Log();
  EXPECT_EQ(JobFiles().size(), 1u);  // kept, as for every failed run
}

TEST_F(ExecuteTest, UnknownMethodWritesAndRunsNothing) {
  EXPECT_TRUE(Execute("Untouched", Parameters()).Empty());  // names are case-sensitive
  EXPECT_EQ(debug_.Lines(), (std::vector<vtps_test::DebugLine>{
                                {1, "Receiving Execute call"},
                                {0, "VantricProcessServer Exception Processor not found."}}));
  EXPECT_TRUE(JobFiles().empty());
}

TEST_F(ExecuteTest, UnwritableJobFileIsLoggedWithItsReasonAndNothingRuns) {
  workingDirectory_ = KQ_TURL(vtps_test::FileUrl(JobsDir()) + "/missing-folder");
  EXPECT_TRUE(Execute("fixed-answer", Parameters()).Empty());
  std::vector<vtps_test::DebugLine> lines = debug_.Lines();
  ASSERT_EQ(lines.size(), 2u) << Log();
  EXPECT_EQ(lines[0], (vtps_test::DebugLine{1, "Receiving Execute call"}));
  // The reason names the file it could not create and the OS's cause.
  const std::string prefix =
      "VantricProcessServer Exception when generating XML file. Reason: cannot create " +
      vtps_test::NativePath(JobsDir() + "/missing-folder") + os::PathSeparator() +
      "_VTPS_fixed-answer_";
  EXPECT_EQ(lines[1].level, 0);
  EXPECT_EQ(lines[1].text.rfind(prefix, 0), 0u) << Log();
  EXPECT_NE(lines[1].text.find(".xml: "), std::string::npos) << Log();
}

// A failed run keeps its job file, but not the caller's secrets in it.
TEST_F(ExecuteTest, FailedRunKeepsTheJobFileWithoutSecretValues) {
  os::CommandResult failed;
  failed.status = 3;
  failed.seconds = 1;
  FakeRun(failed);
  Execute("untouched", SecretParameters());
  ASSERT_EQ(JobFiles().size(), 1u) << Log();
  std::string kept = (fs::path(JobsDir()) / JobFiles()[0]).string();
  std::string text = vtps_test::ReadFile(kept);
  EXPECT_EQ(text.find("secret"), std::string::npos) << text;
  EXPECT_NE(text.find("<file>in.pdf</file>"), std::string::npos) << text;
  EXPECT_NE(text.find("<userPassword/>"), std::string::npos) << text;
  EXPECT_TRUE(debug_.Logged(0, "Job file kept: " + vtps_test::NativePath(kept) +
                                   ". Secret values removed: password, userPassword."))
      << Log();
}

// Windows reports a process over the job's memory limit; the run is then failed even when
// the processor carried on and exited with 0.
TEST_F(ExecuteTest, MemoryLimitNoticeFailsTheRun) {
  memoryLimitMiB_ = 64;
  os::CommandResult noticed;
  noticed.status = 0;
  noticed.memoryLimitExceeded = true;
  FakeRun(noticed);
  KQ_TDict answer = Execute("untouched", SecretParameters());
  EXPECT_EQ(ranMemoryLimitMiB_, 64u);
  EXPECT_EQ(ranTimeLimit_, std::chrono::milliseconds(0));
  EXPECT_NE(answer.Find("file"), nullptr);  // what the processor left is still answered
  std::vector<vtps_test::DebugLine> lines = debug_.Lines();
  ASSERT_EQ(lines.size(), 5u) << Log();
  EXPECT_EQ(lines[2],
            (vtps_test::DebugLine{0,
                                  "VantricProcessServer Exception Processor memory limit exceeded "
                                  "(64 MiB)."}));
  EXPECT_EQ(lines[3], (vtps_test::DebugLine{0, "Failed to spawn command : " + ranLine_}));
  EXPECT_EQ(lines[4].level, 0);
  EXPECT_TRUE(lines[4].text.starts_with("Job file kept: ")) << Log();
  EXPECT_EQ(JobFiles().size(), 1u);
}

TEST_F(ExecuteTest, WorkingDirectoryWithoutLocalPathLeavesExecute) {
  workingDirectory_ = KQ_TURL(KQ_TString("http://example.org/jobs"));
  EXPECT_THROW(Execute("fixed-answer", Parameters()), KQ_EException);
}

TEST_F(ExecuteTest, DebugLevelFiveKeepsEveryJobFile) {
  for (int level = 0; level <= 5; ++level) {
    debug_.SetDebugLevel(level);
    debug_.Clear();
    Execute("untouched", SecretParameters());
    EXPECT_EQ(JobFiles().size(), level < 5 ? 0u : 1u) << "level " << level;
    EXPECT_EQ(debug_.Mentions("Job file kept: "), level >= 5) << "level " << level;
  }
  std::string kept = (fs::path(JobsDir()) / JobFiles()[0]).string();
  EXPECT_TRUE(debug_.Logged(5, "Job file kept: " + vtps_test::NativePath(kept) +
                                   ". Secret values removed: password, userPassword."))
      << Log();
  EXPECT_EQ(vtps_test::ReadFile(kept).find("secret"), std::string::npos);
}

TEST_F(ExecuteTest, ProgramPathVariableCases) {
  const char* variable = "VTPS_EXECUTE_TEST_HOME";
  vtps_test::ScopedEnv environment(variable, std::nullopt);
  progPathEnvVar_ = KQ_TString(variable);
  std::string processors = vtps_test::NativePath(std::string(VTPS_SOURCE_DIR) + "/processors");
  programDirectory_ = OnCmd() ? "test\\" : "test/";
  std::string separator = OnCmd() ? "\\" : "/";
  struct Case {
    std::optional<std::string> value;
    bool warned;
    bool answered;
  };
  for (const Case& c : {Case{std::nullopt, true, false}, Case{std::string(""), true, false},
                        Case{processors, false, true}, Case{processors + separator, false, true}}) {
    environment.Set(c.value);
    debug_.Clear();
    KQ_TDict answer = Execute("fixed-answer", Parameters());
    EXPECT_EQ(debug_.Logged(2, "Program Path Environment Variable is undefined"), c.warned)
        << Log();
    EXPECT_EQ(!answer.Empty() && answer.Find("status") != nullptr, c.answered) << Log();
    if (c.answered) {
      std::string base = *c.value + separator;
      EXPECT_TRUE(debug_.Mentions("cd " + base + programDirectory_.Text() + " ")) << Log();
    }
  }
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
    programDirectory_ = KQ_TString(c.programDirectory);
    processors_[KQ_TString("fixed-answer")] = KQ_TString(c.program);
    debug_.Clear();
    KQ_TDict answer = Execute("fixed-answer", Parameters());
    ASSERT_NE(answer["status"].DynamicCast<KQ_TString>(), nullptr) << Log();
    EXPECT_EQ(answer["status"].DynamicCast<KQ_TString>()->Text(), "done");
    EXPECT_TRUE(debug_.Mentions(directory + program + " -r -i ")) << Log();
    EXPECT_FALSE(debug_.Mentions(std::string(1, '\0')));
  }
}

TEST_F(ExecuteTest, WithoutVariableNoWarningAndNoDriveSwitch) {
  Execute("untouched", Parameters());
  EXPECT_FALSE(debug_.Mentions("Program Path Environment Variable"));
  EXPECT_TRUE(debug_.Find(3, "Executing following command: cd " + TestProcessors())) << Log();
}

TEST_F(ExecuteTest, DriveSwitchRunsThroughTheCommandInterpreter) {
  if (!OnCmd())
    GTEST_SKIP() << "drive switches belong to cmd.exe";
  // Under Wine the processors live on drive Z:, a drive of their own.
  std::string processors = vtps_test::NativePath(std::string(VTPS_SOURCE_DIR) + "/processors");
  ASSERT_EQ(processors[1], ':');
  vtps_test::ScopedEnv environment("VTPS_EXECUTE_TEST_DRIVE", processors);
  progPathEnvVar_ = KQ_TString("VTPS_EXECUTE_TEST_DRIVE");
  programDirectory_ = "test\\";
  KQ_TDict answer = Execute("fixed-answer", Parameters());
  EXPECT_NE(answer.Find("status"), nullptr) << Log();
  EXPECT_TRUE(debug_.Find(3, "Executing following command: " + processors.substr(0, 2) + " & cd " +
                                 processors + "\\test\\ & "))
      << Log();
}

class ExecuteKeepingFilesTest : public ExecuteTest {
 protected:
  ExecuteKeepingFilesTest() : ExecuteTest(5) {}
};

// A job file is named by method, second and thread id, so requests that run at the same time
// on different threads never share a file; a thread id that the platform hands out again
// later may give a later request the name of an earlier one, so all the requests here are
// kept running until every one of them has finished.
TEST_F(ExecuteKeepingFilesTest, ConcurrentRequestsOnLiveThreadsUseTheirOwnFiles) {
  constexpr int kRequests = 6;
  std::latch started(kRequests);
  std::latch finished(kRequests);
  struct Outcome {
    std::uint32_t threadId;
    KQ_TDict answer;
  };
  std::vector<std::future<Outcome>> outcomes;
  for (int i = 0; i < kRequests; ++i) {
    outcomes.push_back(std::async(std::launch::async, [this, i, &started, &finished] {
      started.arrive_and_wait();
      KQ_TDict parameters;
      parameters["request"] = std::to_string(i);
      Outcome outcome{os::CurrentThreadId(), Execute("untouched", parameters)};
      finished.arrive_and_wait();
      return outcome;
    }));
  }
  std::set<std::string> expectedEndings;
  for (int i = 0; i < kRequests; ++i) {
    Outcome outcome = outcomes[static_cast<std::size_t>(i)].get();
    ASSERT_NE(outcome.answer["request"].DynamicCast<KQ_TString>(), nullptr) << Log();
    EXPECT_EQ(outcome.answer["request"].DynamicCast<KQ_TString>()->Text(), std::to_string(i));
    expectedEndings.insert("_" + std::to_string(outcome.threadId) + ".xml");
  }
  ASSERT_EQ(expectedEndings.size(), static_cast<std::size_t>(kRequests));
  std::set<std::string> endings;
  for (const std::string& name : JobFiles()) {
    EXPECT_TRUE(name.starts_with("_VTPS_untouched_")) << name;
    endings.insert(name.substr(name.rfind('_')));
  }
  EXPECT_EQ(endings, expectedEndings);
}

}  // namespace
