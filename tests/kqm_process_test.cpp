// The middleware across two processes: this test is the client, kqm-test-server the server.
#include <gtest/gtest.h>

#include <utility>  // Boost 1.74 Asio uses std::exchange without including it

#include <boost/asio.hpp>
#include <filesystem>
#include <future>

#include "platform/kqmware/kqmware.h"
#include "platform/kqmware/wire.h"
#include "platform/kqtypes/kqtypes.h"
#include "platform/kqtypes/test_exceptions.h"
#include "platform/os/child_process.h"
#include "platform/os/os.h"
#include "tests/support/test_support.h"

namespace {

class TestServerProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    __KQ_INITIALIZATION_FUNCTION_KQMWare__();
    Test_EFailure::KQ_ClassObject();
    port_ = vtps_test::FreePort();
    os::ChildProcess::Options options;
    options.arguments = {std::to_string(port_)};
    options.stdoutPath = dir_.File("stdout");
    options.stderrPath = dir_.File("stderr");
    options.environment = {{"KQM_DEBUG_LOG", vtps_test::NativePath(dir_.File("debug.log"))},
                           {"KQM_DEBUG_LEVEL", "4"}};
    server_.emplace(
        os::ChildProcess::Start(vtps_test::BuildProgram("tests/kqm-test-server"), options));
    client_.SetConnectionAddress("localhost", "TestService", port_, KQM_TClient::kConnectOnRequest);
    // The server is up once it answers.
    ASSERT_TRUE(vtps_test::WaitUntil([&] {
      try {
        return client_.Call("Echo", "ping") == KQ_TAny("ping");
      } catch (const KQ_EException&) {
        return false;
      }
    }));
  }

  KQ_TAny Call(const KQ_TString& method, const KQ_TAny& parameter) {
    KQM_TClient client;
    client.SetConnectionAddress("localhost", "TestService", port_, KQM_TClient::kConnectOnRequest);
    return client.Call(method, parameter);
  }

  vtps_test::TempDir dir_;
  std::uint16_t port_ = 0;
  std::optional<os::ChildProcess> server_;
  KQM_TClient client_;
};

TEST_F(TestServerProcess, AnswersRaisesRunsAtOnceAndStops) {
  KQ_TDict parameters;
  parameters["nested"] = KQ_TDict();
  parameters["list"] = KQ_TList();
  EXPECT_TRUE(client_.Call("Echo", parameters) == KQ_TAny(parameters));

  try {
    client_.Call("Fail", "from the other process");
    ADD_FAILURE() << "no exception";
  } catch (const Test_EFailure& error) {
    EXPECT_EQ(error.KQ_Message().Text(), "from the other process");
  }

  std::vector<std::future<KQ_TAny>> meetings;
  for (int i = 0; i < 4; ++i)
    meetings.push_back(std::async(std::launch::async, [&] { return Call("Meet", 4); }));
  for (auto& meeting : meetings)
    EXPECT_TRUE(meeting.get() == KQ_TAny(true));

  EXPECT_TRUE(client_.Call("Stop", KQ_TAny()) == KQ_TAny(true));
  EXPECT_EQ(server_->WaitFor(std::chrono::seconds(20)), 0);
  EXPECT_EQ(vtps_test::ReadFile(dir_.File("stdout")), "");
  EXPECT_EQ(vtps_test::ReadFile(dir_.File("stderr")), "");
  std::string log = vtps_test::ReadFile(dir_.File("debug.log"));
  EXPECT_NE(log.find(" TestService "), std::string::npos) << log;
  EXPECT_NE(log.find(" 4 connection "), std::string::npos) << log;
}

TEST_F(TestServerProcess, DropsFaultyConnectionsAndKeepsServing) {
  namespace asio = boost::asio;
  std::string request = kqm::EncodeFrame(kqm::MessageKind::kRequest, 1, KQ_TAny(KQ_TDict()));
  const std::string faults[] = {
      std::string("\x7f\xff\xff\xff", 4),                    // a frame far over the limit
      std::string("\x00\x00\x00\x0c", 4) + "garbage bytes",  // an undecodable frame
      request.substr(0, request.size() / 2),                 // a client gone halfway
  };
  for (const std::string& fault : faults) {
    asio::io_context io;
    asio::ip::tcp::socket socket(io);
    socket.connect({asio::ip::address_v4::loopback(), port_});
    asio::write(socket, asio::buffer(fault));
    socket.close();
    EXPECT_TRUE(client_.Call("Echo", "alive") == KQ_TAny("alive"));
  }
  server_->Terminate();
  EXPECT_TRUE(server_->WaitFor(std::chrono::seconds(20)).has_value());
  EXPECT_EQ(vtps_test::ReadFile(dir_.File("stdout")), "");
  EXPECT_EQ(vtps_test::ReadFile(dir_.File("stderr")), "");
}

TEST_F(TestServerProcess, InterruptWhileAProcessorRunsStillStopsTheServer) {
  if (os::NativeCommandDialect() == os::CommandDialect::kCmd)
    GTEST_SKIP() << "Windows has no interrupt signal that one process can send another";
  // The processor runs until the test creates the release file, which it does only after
  // sending the signal: the signal always arrives while the processor runs. The processor
  // gives up (exit status 1) after 20 s, so a lost release cannot hang the test.
  std::string running = dir_.File("running");
  std::string release = dir_.File("release");
  auto answer = std::async(std::launch::async, [&] {
    return Call("Run", KQ_TString("touch " + running + " && i=0; while [ ! -e " + release +
                                  " ] && [ $i -lt 400 ]; do sleep 0.05; i=$((i+1)); done; [ -e " +
                                  release + " ]"));
  });
  ASSERT_TRUE(vtps_test::WaitUntil([&] { return std::filesystem::exists(running); }));
  server_->Interrupt();
  vtps_test::WriteFile(release, "");
  EXPECT_TRUE(answer.get() == KQ_TAny(0));  // the request in flight is finished
  EXPECT_EQ(server_->WaitFor(std::chrono::seconds(20)), 0);
}

}  // namespace
