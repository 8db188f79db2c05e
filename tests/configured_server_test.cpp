// The whole system run for real: ntr-server serves a configuration, VantricProcessServer
// loads it and runs the test processors, kqm-call sends the requests.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>

#include "config/NTR/ntr_exceptions.h"
#include "platform/kqtypes/kqtypes.h"
#include "platform/os/child_process.h"
#include "platform/os/os.h"
#include "tests/support/fake_ntr.h"
#include "tests/support/program_runner.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

bool OnCmd() {
  return os::NativeCommandDialect() == os::CommandDialect::kCmd;
}

class ConfiguredServer : public ::testing::Test {
 protected:
  void SetUp() override {
    ports_ = vtps_test::WriteServicesFile(dir_.File("services"));
    fs::create_directory(JobsDir());
    run_.environment = {
        {"KQM_SERVICES", vtps_test::NativePath(dir_.File("services"))},
        {"KQM_DEBUG_LOG", vtps_test::NativePath(dir_.File("debug.log"))},
        {"KQM_DEBUG_LEVEL", "4"},
        {"VTPS_TEST_HOME", vtps_test::NativePath(std::string(VTPS_SOURCE_DIR) + "/processors")}};
  }

  std::string JobsDir() const { return dir_.File("jobs"); }

  void WriteConfiguration() {
    std::string url = vtps_test::FileUrl(JobsDir());
    std::string extension = OnCmd() ? ".cmd" : ".sh";
    vtps_test::WriteFile(dir_.File("ntr.xml"),
                         "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                         "<configuration><Servers><VantricProcessServer><Configuration>\n"
                         "<ProgPathEnvVar>VTPS_TEST_HOME</ProgPathEnvVar>\n"
                         "<ProgramDirectory>test" +
                             std::string(OnCmd() ? "\\" : "/") +
                             "</ProgramDirectory>\n"
                             "<WorkingDirectory type=\"url\">" +
                             url +
                             "</WorkingDirectory>\n"
                             "<FixedAnswer>fixed-answer" +
                             extension +
                             "</FixedAnswer>\n"
                             "<Exit3>exit3" +
                             extension +
                             "</Exit3>\n"
                             "<Untouched>untouched" +
                             extension +
                             "</Untouched>\n"
                             "<HangTree>hang-tree" +
                             extension +
                             "</HangTree>\n"
                             "<BigAnswer>big-answer" +
                             extension + "</BigAnswer>\n" +
                             (OnCmd() ? "" : "<Allocate>allocate.sh</Allocate>\n") +
                             "</Configuration></VantricProcessServer></Servers></configuration>\n");
  }

  os::ChildProcess Start(const std::string& program, std::vector<std::string> arguments,
                         const std::string& name) {
    return run_.Start(program, std::move(arguments), name);
  }
  vtps_test::ProgramRunner::Result Call(std::vector<std::string> arguments) {
    return run_.Call(std::move(arguments));
  }

  std::string Log() { return vtps_test::ReadFile(dir_.File("debug.log")); }

  // Starts ntr-server and VantricProcessServer on the written configuration and waits until
  // the server answers.
  void StartSystem() {
    WriteConfiguration();
    ntr_.emplace(Start("tools/ntr-server/ntr-server", {dir_.File("ntr.xml")}, "ntr"));
    ASSERT_TRUE(vtps_test::WaitUntil([&] {
      return Call({"NTR", "KeysAt", "\"\""}).exitCode == 0;
    })) << run_.Err("ntr");
    server_.emplace(Start("server/VantricProcessServer", {}, "server"));
    ASSERT_TRUE(vtps_test::WaitUntil([&] {
      return Call({"--status", "VantricProcessServer"}).exitCode == 0;
    })) << Log();
  }

  // How many lines of the debug log hold `text`.
  std::size_t LogLines(const std::string& text) {
    std::size_t count = 0;
    std::string log = Log();
    for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
      ++count;
    return count;
  }

  // The processes the tree-sleeper wrote into `path`.
  std::pair<std::uint32_t, std::uint32_t> TreeIds(const std::string& path) {
    std::pair<std::uint32_t, std::uint32_t> ids;
    std::istringstream(vtps_test::ReadFile(path)) >> ids.first >> ids.second;
    return ids;
  }
  bool TreeGone(const std::string& idsPath) {
    std::pair<std::uint32_t, std::uint32_t> ids = TreeIds(idsPath);
    return vtps_test::WaitUntil([&] {
      return !os::ChildProcess::IsRunning(ids.first) && !os::ChildProcess::IsRunning(ids.second);
    });
  }
  void UseTreeSleeper(const std::string& idsPath) {
    run_.environment.push_back({"VTPS_TREE_SLEEPER", vtps_test::NativePath(vtps_test::BuildProgram(
                                                         "tests/support/tree-sleeper"))});
    run_.environment.push_back({"VTPS_TREE_IDS", vtps_test::NativePath(idsPath)});
  }

  // The job files in the working folder, by name.
  std::vector<std::string> JobFileNames() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(JobsDir()))
      names.push_back(entry.path().filename().string());
    return names;
  }

  // The only job file left in the working folder.
  std::string KeptJobFile() const {
    std::vector<std::string> names = JobFileNames();
    EXPECT_EQ(names.size(), 1u);
    return names.empty() ? "" : (fs::path(JobsDir()) / names[0]).string();
  }

  std::optional<os::ChildProcess> ntr_;
  std::optional<os::ChildProcess> server_;

  std::size_t JobFileCount() const {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(JobsDir()), fs::directory_iterator()));
  }

  vtps_test::TempDir dir_;
  vtps_test::ServicePorts ports_;
  vtps_test::ProgramRunner run_{dir_};
};

TEST_F(ConfiguredServer, ConfiguredMethodsAnswerWhatTheirProcessorsLeft) {
  WriteConfiguration();
  os::ChildProcess ntr = Start("tools/ntr-server/ntr-server", {dir_.File("ntr.xml")}, "ntr");
  ASSERT_TRUE(vtps_test::WaitUntil([&] {
    return Call({"NTR", "KeysAt", "\"\""}).exitCode == 0;
  })) << run_.Err("ntr");
  os::ChildProcess server = Start("server/VantricProcessServer", {}, "server");
  ASSERT_TRUE(vtps_test::WaitUntil([&] {
    return Call({"VantricProcessServer", "Help"}).exitCode == 0;
  })) << Log();

  auto fixed = Call({"VantricProcessServer", "FixedAnswer", R"({"file": "a.pdf"})"});
  ASSERT_EQ(fixed.exitCode, 0) << fixed.err;
  nlohmann::json answer = nlohmann::json::parse(fixed.out);
  EXPECT_EQ(answer["status"], "done");
  EXPECT_EQ(answer["fileArray"]["file"], nlohmann::json::array({"one.pdf", "two.pdf"}));
  EXPECT_EQ(JobFileCount(), 0u);  // exit status 0 at debug level 4: deleted

  auto failed = Call({"VantricProcessServer", "Exit3", R"({"file": "b.pdf"})"});
  ASSERT_EQ(failed.exitCode, 0) << failed.err;
  EXPECT_EQ(nlohmann::json::parse(failed.out)["status"], "failed");
  EXPECT_EQ(JobFileCount(), 1u);  // kept after a failed run
  EXPECT_NE(Log().find(" 0 Failed to spawn command : "), std::string::npos);

  auto unknown = Call({"VantricProcessServer", "Unknown", "{}"});
  EXPECT_EQ(unknown.out, "{}\n");
  EXPECT_EQ(run_.Err("server"), "");
}

TEST_F(ConfiguredServer, UnreadableProcessorFolderEndsTheServerWithOne) {
  // A configuration service that answers the directories but fails on the folder itself.
  RegisterNtrExceptions();
  vtps_test::FakeNtr ntr;
  const std::string folder = "Servers/VantricProcessServer/Configuration/";
  ntr.values[folder + "ProgramDirectory"] = "procs/";
  ntr.values[folder + "WorkingDirectory"] = KQ_TURL(KQ_TString("file:///var/jobs"));
  ntr.raises[folder] = KQ_TAny(NTR_EIllegalPath("the folder cannot be read", KQ_TAny()));
  ntr.Start(ports_.ntr);
  os::ChildProcess server = Start("server/VantricProcessServer", {}, "server");
  EXPECT_EQ(server.WaitFor(60s), 1);
  std::string errors = run_.Err("server");
  EXPECT_EQ(
      errors.rfind("VantricProcessServer stopped:NTR_EIllegalPath: the folder cannot be read", 0),
      0u)
      << errors;
  EXPECT_EQ(Log().find("Receiving Destructor call"), std::string::npos);
}

TEST_F(ConfiguredServer, NtrServerRefusesAnUnreadableFile) {
  vtps_test::WriteFile(dir_.File("bad.xml"), "<configuration>\n<a>\n");
  os::ChildProcess ntr = Start("tools/ntr-server/ntr-server", {dir_.File("bad.xml")}, "ntr");
  EXPECT_EQ(ntr.WaitFor(60s), 1);
  std::string errors = run_.Err("ntr");
  EXPECT_NE(errors.find("bad.xml:3: "), std::string::npos) << errors;
}

TEST_F(ConfiguredServer, TimeLimitEndsAHungProcessorAndItsChildren) {
  std::string ids = dir_.File("tree-ids");
  UseTreeSleeper(ids);
  run_.environment.push_back({"VTPS_PROCESSOR_TIME_LIMIT", "2"});
  StartSystem();
  auto started = std::chrono::steady_clock::now();
  auto answer = Call({"VantricProcessServer", "HangTree",
                      R"({"file": "a.pdf", "ownerPassword": "own3r-secret",
                          "user": {"password": "us3r-secret"}})"});
  // The processor would sleep 60 s: an answer well before shows the limit ended it.
  EXPECT_LT(std::chrono::steady_clock::now() - started, 30s);
  EXPECT_EQ(answer.exitCode, 0) << answer.err;
  EXPECT_EQ(LogLines(" 0 VantricProcessServer Exception Processor time limit exceeded (2 s)."), 1u)
      << Log();
  EXPECT_EQ(LogLines(" 0 Failed to spawn command : "), 1u);
  // Kept, as after any failed run, without the caller's passwords.
  std::string kept = KeptJobFile();
  std::string text = vtps_test::ReadFile(kept);
  EXPECT_EQ(text.find("secret"), std::string::npos) << text;
  EXPECT_NE(text.find("<file>a.pdf</file>"), std::string::npos) << text;
  EXPECT_EQ(LogLines(" 0 Job file kept: " + vtps_test::NativePath(kept) +
                     ". Secret values removed: password, ownerPassword."),
            1u)
      << Log();
  EXPECT_TRUE(TreeGone(ids));
}

TEST_F(ConfiguredServer, MemoryLimitFailsAProcessorThatAllocatesBeyondIt) {
  run_.environment.push_back({"VTPS_PROCESSOR_MEMORY_LIMIT", "32"});
  StartSystem();
  if (OnCmd()) {
    // Under the job object's memory limit a processor runs as before. Wine neither enforces
    // the limit nor reports it (see command_tree_test), so nothing can go beyond it here.
    auto fixed = Call({"VantricProcessServer", "FixedAnswer", "{}"});
    ASSERT_EQ(fixed.exitCode, 0) << fixed.err;
    EXPECT_EQ(nlohmann::json::parse(fixed.out)["status"], "done");
    EXPECT_EQ(JobFileCount(), 0u);
    return;
  }
  auto within = Call({"VantricProcessServer", "Allocate", R"({"mib": "4"})"});
  ASSERT_EQ(within.exitCode, 0) << within.err;
  EXPECT_EQ(nlohmann::json::parse(within.out)["allocated"], "4194304") << Log();
  EXPECT_EQ(JobFileCount(), 0u);

  auto beyond =
      Call({"VantricProcessServer", "Allocate", R"({"mib": "48", "password": "s3cret"})"});
  ASSERT_EQ(beyond.exitCode, 0) << beyond.err;
  EXPECT_EQ(nlohmann::json::parse(beyond.out).count("allocated"), 0u) << beyond.out;
  EXPECT_EQ(LogLines(" 0 Failed to spawn command : "), 1u) << Log();
  std::string kept = KeptJobFile();
  EXPECT_EQ(vtps_test::ReadFile(kept).find("s3cret"), std::string::npos);
  EXPECT_EQ(LogLines(" 0 Job file kept: " + kept + ". Secret values removed: password."), 1u)
      << Log();
}

TEST_F(ConfiguredServer, UnusableLimitsStopTheServerNamingTheSetting) {
  struct Case {
    const char* variable;
    const char* value;
  };
  for (const Case& c :
       {Case{"VTPS_PROCESSOR_MEMORY_LIMIT", "lots"}, Case{"VTPS_PROCESSOR_MEMORY_LIMIT", "-1"},
        Case{"VTPS_SECRET_KEYS", "password,,pin"}}) {
    run_.environment.push_back({c.variable, c.value});
    os::ChildProcess server = Start("server/VantricProcessServer", {}, "server");
    EXPECT_EQ(server.WaitFor(60s), 1) << c.variable;
    std::string errors = run_.Err("server");
    EXPECT_NE(errors.find(std::string(c.variable) + " is \"" + c.value + "\""), std::string::npos)
        << errors;
    run_.environment.pop_back();
  }
}

// Job files are made exclusively and privately: whoever may write into the working folder
// and plants links at the names to come gets neither the parameters nor a file written
// through the link.
TEST_F(ConfiguredServer, JobFilesArePrivateAndNeverWrittenThroughALink) {
  if (OnCmd())
    GTEST_SKIP() << "file modes, links and /proc are POSIX here";
  for (auto& [name, value] : run_.environment) {
    if (name == "KQM_DEBUG_LEVEL")
      value = "5";  // keeps every job file
  }
  StartSystem();
  std::string outside = dir_.File("outside.txt");
  vtps_test::WriteFile(outside, "untouched");
  // A name holds the second and the thread: plant links for every thread of the server and
  // the next seconds.
  std::int64_t now = os::SecondsSince1970();
  int planted = 0;
  for (const auto& task :
       fs::directory_iterator("/proc/" + std::to_string(server_->Id()) + "/task")) {
    std::uint32_t thread = static_cast<std::uint32_t>(std::stoul(task.path().filename().string()));
    for (std::int64_t second = now; second < now + 60; ++second, ++planted) {
      std::string name = "_VTPS_Untouched_" + std::to_string(second) + "_" + std::to_string(thread);
      fs::create_symlink(outside, fs::path(JobsDir()) / (name + ".xml"));
      fs::create_symlink(dir_.File("created-" + name), fs::path(JobsDir()) / (name + "_2.xml"));
    }
  }
  ASSERT_GT(planted, 0);

  auto answer = Call({"VantricProcessServer", "Untouched", R"({"file": "a.pdf"})"});
  ASSERT_EQ(answer.exitCode, 0) << answer.err;
  EXPECT_EQ(nlohmann::json::parse(answer.out)["file"], "a.pdf") << Log();
  EXPECT_EQ(vtps_test::ReadFile(outside), "untouched");
  std::vector<std::string> written;
  for (const std::string& name : JobFileNames()) {
    fs::path path = fs::path(JobsDir()) / name;
    if (fs::is_symlink(path))
      continue;
    written.push_back(name);
    EXPECT_TRUE(name.ends_with("_3.xml")) << name;
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
  }
  EXPECT_EQ(written.size(), 1u);
  for (const auto& entry : fs::directory_iterator(dir_.Path()))
    EXPECT_FALSE(entry.path().filename().string().starts_with("created-")) << entry.path();
  EXPECT_EQ(LogLines(" 5 Job file kept: "), 1u) << Log();
}

TEST_F(ConfiguredServer, StopRefusesTheWaitingAndEndsTheRunningAtTheDeadline) {
  if (OnCmd())
    GTEST_SKIP() << "needs a stop signal sent from another process";
  std::string ids = dir_.File("tree-ids");
  UseTreeSleeper(ids);
  run_.environment.push_back({"KQM_WORKERS", "1"});
  run_.environment.push_back({"KQM_STOP_TIMEOUT_MS", "1000"});
  StartSystem();
  auto running = std::async(std::launch::async, [&] {
    return Call({"VantricProcessServer", "HangTree", "{}"});
  });
  ASSERT_TRUE(vtps_test::WaitUntil([&] { return fs::exists(ids); }));
  auto waiting = std::async(std::launch::async, [&] {
    return Call({"VantricProcessServer", "Help"});
  });
  ASSERT_TRUE(vtps_test::WaitUntil([&] {
    auto status = Call({"--status", "VantricProcessServer"});
    return status.exitCode == 0 && nlohmann::json::parse(status.out)["queued"] == 1;
  }));

  server_->Terminate();
  EXPECT_EQ(server_->WaitFor(30s), 0) << run_.Err("server");
  auto refused = waiting.get();
  EXPECT_EQ(refused.exitCode, 2);
  EXPECT_NE(refused.err.find("KQM_EBusy: the service VantricProcessServer is stopping"),
            std::string::npos)
      << refused.err;
  auto answered = running.get();
  EXPECT_EQ(answered.exitCode, 0) << answered.err;
  EXPECT_EQ(LogLines("VantricProcessServer Exception Processor time limit exceeded"), 1u) << Log();
  EXPECT_NE(Log().find("Receiving Destructor call"), std::string::npos);
  EXPECT_TRUE(TreeGone(ids));
}

TEST_F(ConfiguredServer, StatusAnswersWhileTheOnlySlotIsBusyAndTheNextRequestIsRefused) {
  std::string ids = dir_.File("tree-ids");
  UseTreeSleeper(ids);
  run_.environment.push_back({"KQM_WORKERS", "1"});
  run_.environment.push_back({"KQM_QUEUE", "0"});
  // Long enough for the checks below, even under Wine; the limit then ends the processor.
  run_.environment.push_back({"VTPS_PROCESSOR_TIME_LIMIT", "10"});
  StartSystem();
  auto running = std::async(std::launch::async, [&] {
    return Call({"VantricProcessServer", "HangTree", "{}"});
  });
  ASSERT_TRUE(vtps_test::WaitUntil([&] { return fs::exists(ids); }));

  auto status = Call({"--status", "VantricProcessServer"});
  ASSERT_EQ(status.exitCode, 0) << status.err;
  nlohmann::json fields = nlohmann::json::parse(status.out);
  EXPECT_EQ(fields["service"], "VantricProcessServer");
  EXPECT_EQ(fields["running"], 1);
  EXPECT_EQ(fields["workers"], 1);
  EXPECT_EQ(fields["queueLimit"], 0);

  auto refused = Call({"VantricProcessServer", "Help"});
  EXPECT_EQ(refused.exitCode, 2);
  EXPECT_NE(refused.err.find("KQM_EBusy: the service VantricProcessServer is busy"),
            std::string::npos)
      << refused.err;
  EXPECT_EQ(running.get().exitCode, 0);
  EXPECT_TRUE(TreeGone(ids));
}

TEST_F(ConfiguredServer, AnswerFilesOverTheFrameLimitAreNotRead) {
  std::string big = dir_.File("big.xml");
  { std::ofstream(big) << "<a>"; }
  fs::resize_file(big, 200u * 1024 * 1024);  // sparse where the file system allows
  run_.environment.push_back({"VTPS_BIG_ANSWER", vtps_test::NativePath(big)});
  StartSystem();
  auto answer = Call({"VantricProcessServer", "BigAnswer", "{}"});
  EXPECT_EQ(answer.exitCode, 0) << answer.err;
  EXPECT_EQ(answer.out, "{}\n");
  EXPECT_EQ(LogLines(" 0 VantricProcessServer Exception Answer file too large (209715200 bytes)."),
            1u)
      << Log();
  if (!OnCmd()) {
    // Parsing would have cost many times the file's size.
    std::string status = vtps_test::ReadFile("/proc/" + std::to_string(server_->Id()) + "/status");
    std::size_t peak = status.find("VmHWM:");
    ASSERT_NE(peak, std::string::npos);
    EXPECT_LT(std::stoul(status.substr(peak + 6)), 256u * 1024) << "kB at peak";
  }
}

TEST_F(ConfiguredServer, RefusedParametersAreLoggedWithTheirReason) {
  StartSystem();
  const std::pair<const char*, const char*> cases[] = {
      {R"({"a b": "x"})", R"(Unexpected dictionary key "a b")"},
      {R"({"x><y": "x"})", R"(Unexpected dictionary key "x><y")"},
      {R"({"ok": "x", "c\u0001": "x"})", "Unexpected dictionary key \"c"},
  };
  for (const auto& [parameters, reason] : cases) {
    auto answer = Call({"VantricProcessServer", "Untouched", parameters});
    EXPECT_EQ(answer.exitCode, 0) << answer.err;
    EXPECT_EQ(answer.out, "{}\n") << parameters;
    EXPECT_EQ(
        LogLines(std::string(" 0 VantricProcessServer Exception Parameters refused: ") + reason),
        1u)
        << parameters << "\n"
        << Log();
  }
}

}  // namespace
