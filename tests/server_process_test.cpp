// The VantricProcessServer program run for real, talked to with kqm-call.
#include <gtest/gtest.h>

#include "platform/kqmware/kqmware.h"
#include "platform/os/child_process.h"
#include "platform/os/os.h"
#include "tests/support/program_runner.h"

namespace {

using namespace std::chrono_literals;

class ServerProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    ports_ = vtps_test::WriteServicesFile(dir_.File("services"));
    run_.environment = {{"KQM_SERVICES", vtps_test::NativePath(dir_.File("services"))},
                        {"KQM_DEBUG_LOG", vtps_test::NativePath(dir_.File("debug.log"))},
                        {"KQM_DEBUG_LEVEL", "1"}};
  }

  os::ChildProcess StartServer() { return run_.Start("server/VantricProcessServer", {}, "server"); }

  bool WaitUntilServing() {
    return vtps_test::WaitUntil([&] {
      return Log().find("Receiving Constructor call") != std::string::npos &&
             run_.Call({"VantricProcessServer", "Ping", "{}"}).exitCode == 0;
    });
  }

  vtps_test::ProgramRunner::Result Call(std::vector<std::string> arguments) {
    return run_.Call(std::move(arguments));
  }
  std::string Log() { return vtps_test::ReadFile(dir_.File("debug.log")); }
  std::string ServerOut() { return run_.Out("server"); }
  std::string ServerErr() { return run_.Err("server"); }

  vtps_test::TempDir dir_;
  vtps_test::ProgramRunner run_{dir_};
  vtps_test::ServicePorts ports_;
};

TEST_F(ServerProcess, HelpAndAnUnknownMethod) {
  os::ChildProcess server = StartServer();
  ASSERT_TRUE(WaitUntilServing()) << Log() << ServerErr();

  auto help = Call({"VantricProcessServer", "Help"});
  EXPECT_EQ(help.exitCode, 0) << help.err;
  EXPECT_EQ(help.out, "true\n");
  EXPECT_EQ(ServerOut(),
            "The VantricProcessServer (a.k.a. VTPS) is a kqmd server which is in charge of "
            "handling PDF operations needed for the Vantric.\n");

  // The readiness probe's own unknown method logs the same line, so the lines are counted.
  const std::string notFound = " 0 VantricProcessServer Exception Processor not found.\n";
  std::size_t before = vtps_test::Occurrences(Log(), notFound);
  auto unknown = Call({"VantricProcessServer", "Convert", R"({"file": "a.pdf"})"});
  EXPECT_EQ(unknown.exitCode, 0) << unknown.err;
  EXPECT_EQ(unknown.out, "{}\n");
  EXPECT_EQ(vtps_test::Occurrences(Log(), notFound), before + 1) << Log();
  EXPECT_EQ(ServerErr(), "");
}

TEST_F(ServerProcess, StopSignalEndsWithZeroAndTheDestructorLine) {
  if (os::NativeCommandDialect() == os::CommandDialect::kCmd)
    GTEST_SKIP() << "Windows has no stop signal that one process can send another";
  os::ChildProcess server = StartServer();
  ASSERT_TRUE(WaitUntilServing()) << Log();
  server.Terminate();
  EXPECT_EQ(server.WaitFor(20s), 0);
  std::string log = Log();
  std::size_t constructed = log.find(" 1 Receiving Constructor call\n");
  std::size_t destroyed = log.find(" 1 Receiving Destructor call\n");
  EXPECT_NE(constructed, std::string::npos) << log;
  EXPECT_NE(destroyed, std::string::npos) << log;
  EXPECT_LT(constructed, destroyed);
  EXPECT_EQ(ServerErr(), "");
}

TEST_F(ServerProcess, TakenPortEndsWithOneAndAStoppedLine) {
  KQM_TServer squatter;
  squatter.Bind("Squatter", ports_.server, 0, false);
  os::ChildProcess server = StartServer();
  EXPECT_EQ(server.WaitFor(60s), 1);
  std::string errors = ServerErr();
  EXPECT_EQ(errors.rfind("VantricProcessServer stopped:KQ_EException: cannot bind the service "
                         "VantricProcessServer",
                         0),
            0u)
      << errors;
  EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1);
  EXPECT_NE(Log().find(" 1 Receiving Constructor call\n"), std::string::npos);
  EXPECT_EQ(Log().find("Receiving Destructor call"), std::string::npos);
}

TEST_F(ServerProcess, KqmCallReportsUsageAndTransportErrors) {
  auto usage = Call({"VantricProcessServer"});
  EXPECT_EQ(usage.exitCode, 2);
  EXPECT_NE(usage.err.find("usage: kqm-call"), std::string::npos);
  auto badJson = Call({"VantricProcessServer", "M", "{not json"});
  EXPECT_EQ(badJson.exitCode, 2);
  EXPECT_NE(badJson.err.find("P1 is not usable"), std::string::npos);
  auto nobody = Call({"VantricProcessServer", "Help"});  // nothing listens
  EXPECT_EQ(nobody.exitCode, 2);
  EXPECT_NE(nobody.err.find("service VantricProcessServer on host localhost"), std::string::npos)
      << nobody.err;
}

}  // namespace
