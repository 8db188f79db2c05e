// The whole system run for real: ntr-server serves a configuration, VantricProcessServer
// loads it and runs the test processors, kqm-call sends the requests.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

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
    serverPort_ = vtps_test::FreePort();
    ntrPort_ = vtps_test::FreePort();
    vtps_test::WriteFile(dir_.File("services"), vtps_test::ServicesText(serverPort_, ntrPort_));
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

  std::size_t JobFileCount() const {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(JobsDir()), fs::directory_iterator()));
  }

  vtps_test::TempDir dir_;
  std::uint16_t serverPort_ = 0;
  std::uint16_t ntrPort_ = 0;
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
  ntr.Start(ntrPort_);
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

}  // namespace
