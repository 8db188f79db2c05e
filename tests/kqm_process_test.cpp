// The middleware across two processes: this test is the client, kqm-test-server the server.
#include <gtest/gtest.h>

#include <utility>  // Boost 1.74 Asio uses std::exchange without including it

#include <boost/asio.hpp>
#include <filesystem>
#include <future>
#include <optional>

#include "platform/kqmware/kqmware.h"
#include "platform/kqmware/wire.h"
#include "platform/kqtypes/kqtypes.h"
#include "platform/kqtypes/test_exceptions.h"
#include "platform/os/child_process.h"
#include "platform/os/os.h"
#include "tests/support/program_runner.h"
#include "tests/support/test_support.h"

namespace {

// Starts kqm-test-server on `port`, its output and its debug log (level 4) in `dir`, with
// `settings` added to its environment.
os::ChildProcess StartTestServer(const vtps_test::TempDir& dir, std::uint16_t port,
                                 std::vector<std::pair<std::string, std::string>> settings = {}) {
  os::ChildProcess::Options options;
  options.arguments = {std::to_string(port)};
  options.stdoutPath = dir.File("stdout");
  options.stderrPath = dir.File("stderr");
  options.environment = {{"KQM_DEBUG_LOG", vtps_test::NativePath(dir.File("debug.log"))},
                         {"KQM_DEBUG_LEVEL", "4"}};
  options.environment.insert(options.environment.end(), settings.begin(), settings.end());
  return os::ChildProcess::Start(vtps_test::BuildProgram("tests/kqm-test-server"), options);
}

class TestServerProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    __KQ_INITIALIZATION_FUNCTION_KQMWare__();
    Test_EFailure::KQ_ClassObject();
    port_ = vtps_test::FreePort();
    server_.emplace(StartTestServer(dir_, port_));
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

// A kqm-test-server started with the allow-list settings of each test; this test is the
// client, from 127.0.0.1 and, by binding its socket first, from 127.0.0.2 (loopback too).
class AllowListProcess : public ::testing::Test {
 protected:
  void SetUp() override { __KQ_INITIALIZATION_FUNCTION_KQMWare__(); }

  os::ChildProcess& Start(std::vector<std::pair<std::string, std::string>> settings) {
    port_ = vtps_test::FreePort();
    server_.emplace(StartTestServer(dir_, port_, std::move(settings)));
    return *server_;
  }

  // Sends `bytes` to 127.0.0.1:`port` from the address `from` and returns what comes back
  // until the server closes the connection or, with `frame` set, until one whole frame is in.
  // A connection reset counts as closed.
  static std::string Exchange(const char* from, std::uint16_t port, const std::string& bytes,
                              bool frame) {
    namespace asio = boost::asio;
    asio::io_context io;
    asio::ip::tcp::socket socket(io);
    socket.open(asio::ip::tcp::v4());
    socket.bind({asio::ip::make_address(from), 0});
    socket.connect({asio::ip::address_v4::loopback(), port});
    boost::system::error_code error;
    asio::write(socket, asio::buffer(bytes), error);
    std::string received;
    char buffer[4096];
    while (!error) {
      std::size_t count = socket.read_some(asio::buffer(buffer), error);
      received.append(buffer, count);
      if (frame && received.size() >= 4) {
        std::size_t length = (static_cast<unsigned char>(received[0]) << 24) |
                             (static_cast<unsigned char>(received[1]) << 16) |
                             (static_cast<unsigned char>(received[2]) << 8) |
                             static_cast<unsigned char>(received[3]);
        if (received.size() >= 4 + length)
          break;
      }
    }
    return received;
  }

  // The answer to an "Echo" of `text` sent from `from`; "" when the connection was closed.
  std::string Echo(const char* from, const std::string& text) const {
    KQ_TDict request;
    request["M"] = KQ_TString("Echo");
    request["P1"] = KQ_TString(text);
    std::string reply = Exchange(
        from, port_, kqm::EncodeFrame(kqm::MessageKind::kRequest, 7, KQ_TAny(request)), true);
    if (reply.empty())
      return "";
    kqm::Message message = kqm::DecodePayload(std::string_view(reply).substr(4));
    const KQ_TString* answer = message.value.DynamicCast<KQ_TString>();
    return answer == nullptr ? "(not a text)" : answer->Text();
  }

  std::string Log() const { return vtps_test::ReadFile(dir_.File("debug.log")); }

  vtps_test::TempDir dir_;
  std::uint16_t port_ = 0;
  std::optional<os::ChildProcess> server_;
};

TEST_F(AllowListProcess, APeerNotOnTheListIsClosedAtAcceptAndLoggedOnceASecond) {
  Start({{"KQM_LISTEN", "0.0.0.0"}, {"KQM_ALLOW", " 127.0.0.2 , 10.0.0.0/8"}});
  ASSERT_TRUE(vtps_test::WaitUntil([&] {
    try {
      return Echo("127.0.0.2", "ping") == "ping";
    } catch (const std::exception&) {
      return false;
    }
  })) << Log();

  // What a refused client sees: the connection closes without an answer.
  KQM_TClient client;
  client.SetConnectionAddress("localhost", "TestService", port_, KQM_TClient::kConnectOnRequest);
  try {
    client.Call("Echo", "refused");
    ADD_FAILURE() << "a peer not on the list was answered";
  } catch (const KQ_EException& error) {
    std::string message = error.KQ_Message().Text();
    EXPECT_NE(message.find("service TestService on host localhost"), std::string::npos) << message;
  }
  // A burst of refused connections gives at most one line a second.
  auto started = std::chrono::steady_clock::now();
  for (int i = 0; i < 20; ++i)
    EXPECT_EQ(Echo("127.0.0.1", "refused"), "");
  auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started)
          .count();
  EXPECT_EQ(Echo("127.0.0.2", "still served"), "still served");

  std::string log = Log();
  std::size_t lines = vtps_test::Occurrences(log, " 2 refused a connection from 127.0.0.1:");
  EXPECT_GE(lines, 1u) << log;
  EXPECT_LE(lines, static_cast<std::size_t>(seconds) + 2) << log;
  EXPECT_NE(log.find("the address is not allowed (KQM_ALLOW 127.0.0.2/32,10.0.0.0/8)"),
            std::string::npos)
      << log;
  // Refused connections never became connections of the server ("connection N (ADDRESS:PORT)
  // opened" at level 4), served ones did.
  EXPECT_EQ(log.find("(127.0.0.1:"), std::string::npos) << log;
  EXPECT_NE(log.find("(127.0.0.2:"), std::string::npos) << log;
}

TEST_F(AllowListProcess, TheMetricsListenerTakesTheSameList) {
  std::uint16_t metricsPort = vtps_test::FreePort();
  Start({{"KQM_LISTEN", "0.0.0.0"},
         {"KQM_ALLOW", "127.0.0.2"},
         {"KQM_METRICS_LISTEN", "127.0.0.1:" + std::to_string(metricsPort)}});
  const std::string get = "GET /health HTTP/1.1\r\nHost: x\r\n\r\n";
  ASSERT_TRUE(vtps_test::WaitUntil([&] {
    try {
      return Exchange("127.0.0.2", metricsPort, get, false).rfind("HTTP/1.1 200", 0) == 0;
    } catch (const std::exception&) {
      return false;
    }
  })) << Log();
  EXPECT_EQ(Exchange("127.0.0.1", metricsPort, get, false), "");
  EXPECT_TRUE(vtps_test::WaitUntil([&] {
    return Log().find("metrics: refused a connection from 127.0.0.1:") != std::string::npos;
  })) << Log();
}

TEST_F(AllowListProcess, ListeningBeyondLoopbackWithoutAListWarnsAndLetsEveryoneIn) {
  Start({{"KQM_LISTEN", "0.0.0.0"}, {"KQM_DEBUG_LEVEL", "0"}});
  ASSERT_TRUE(vtps_test::WaitUntil([&] {
    try {
      return Echo("127.0.0.1", "a") == "a" && Echo("127.0.0.2", "b") == "b";
    } catch (const std::exception&) {
      return false;
    }
  })) << Log();
  std::string log = Log();
  EXPECT_NE(log.find(" 0 warning: the listener of TestService on 0.0.0.0 port " +
                     std::to_string(port_) + " reaches beyond loopback and KQM_ALLOW is unset"),
            std::string::npos)
      << log;
}

TEST_F(AllowListProcess, AMalformedEntryStopsTheServerAtStart) {
  os::ChildProcess& server = Start({{"KQM_ALLOW", "127.0.0.1, 10.0.0.0/40"}});
  EXPECT_EQ(server.WaitFor(std::chrono::seconds(20)), 1);
  std::string err = vtps_test::ConsoleText(dir_.File("stderr"));
  EXPECT_NE(err.find("KQM_ALLOW has the entry \"10.0.0.0/40\""), std::string::npos) << err;
}

}  // namespace
