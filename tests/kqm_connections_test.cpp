// A server's connections across two processes: the connection limit and its KQM_EBusy answer
// as KQM_TClient and kqm-call show it, idle connections closed and made again by the client,
// and many idle connections under a low descriptor limit. kqm-test-server is the server.
#include <gtest/gtest.h>

#include <utility>  // Boost 1.74 Asio uses std::exchange without including it

#include <boost/asio.hpp>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/kqmware/kqm_ebusy.h"
#include "platform/kqmware/kqmware.h"
#include "platform/kqmware/wire.h"
#include "platform/kqtypes/kqtypes.h"
#include "platform/os/child_process.h"
#include "platform/os/os.h"
#include "tests/support/program_runner.h"
#include "tests/support/test_support.h"

namespace {

namespace asio = boost::asio;
using asio::ip::tcp;

class ConnectionsProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    __KQ_INITIALIZATION_FUNCTION_KQMWare__();
    port_ = vtps_test::FreePort();
    vtps_test::WriteFile(dir_.File("services"), "TestService " + std::to_string(port_) + "/tcp\n");
    runner_.environment = {{"KQM_SERVICES", vtps_test::NativePath(dir_.File("services"))}};
  }

  // Starts kqm-test-server with `settings`, through `wrapper` (a program and its arguments
  // before the server's path) when given, and waits until it answers.
  void Start(std::vector<std::pair<std::string, std::string>> settings,
             std::vector<std::string> wrapper = {}) {
    os::ChildProcess::Options options;
    options.stdoutPath = dir_.File("stdout");
    options.stderrPath = dir_.File("stderr");
    options.environment = {{"KQM_DEBUG_LOG", vtps_test::NativePath(dir_.File("debug.log"))},
                           {"KQM_DEBUG_LEVEL", "4"}};
    options.environment.insert(options.environment.end(), settings.begin(), settings.end());
    std::string program = vtps_test::BuildProgram("tests/kqm-test-server");
    if (!wrapper.empty()) {
      options.arguments.assign(wrapper.begin() + 1, wrapper.end());
      options.arguments.push_back(program);
      program = wrapper.front();
    }
    options.arguments.push_back(std::to_string(port_));
    server_.emplace(os::ChildProcess::Start(program, options));
    ASSERT_TRUE(vtps_test::WaitUntil([&] {
      try {
        return Echo("ping") == "ping";
      } catch (const KQ_EException&) {
        return false;
      }
    })) << Log();
    // The server has let the probe's connection go, so the test starts with none open.
    ASSERT_TRUE(vtps_test::WaitUntil([&] { return Log().find(") closed\n") != std::string::npos; }))
        << Log();
  }

  void SetUpClient(KQM_TClient& client,
                   KQM_TClient::TLocationMode mode = KQM_TClient::kConnectOnRequest) {
    client.SetConnectionAddress("localhost", "TestService", port_, mode);
  }

  // An "Echo" of `text` on a connection of its own.
  std::string Echo(const std::string& text) {
    KQM_TClient client;
    SetUpClient(client);
    return Text(client.Call("Echo", KQ_TString(text)));
  }

  static std::string Text(const KQ_TAny& value) {
    const KQ_TString* text = value.DynamicCast<KQ_TString>();
    return text == nullptr ? "(not a text)" : text->Text();
  }

  // The message of the KQM_EBusy `call` raises; "" when it raises none.
  template <class Call>
  static std::string BusyMessage(Call call) {
    try {
      call();
    } catch (const KQM_EBusy& busy) {
      return busy.KQ_Message().Text();
    } catch (const KQ_EException& error) {
      return "(not KQM_EBusy) " + std::string(error.ClassName()) + ": " + error.KQ_Message().Text();
    }
    return "";
  }

  std::string Log() const { return vtps_test::ReadFile(dir_.File("debug.log")); }

  void StopServer() {
    server_->Terminate();
    EXPECT_TRUE(server_->WaitFor(std::chrono::seconds(30)).has_value());
    EXPECT_EQ(vtps_test::ReadFile(dir_.File("stderr")), "");
  }

  vtps_test::TempDir dir_;
  vtps_test::ProgramRunner runner_{dir_};
  std::uint16_t port_ = 0;
  std::optional<os::ChildProcess> server_;
};

TEST_F(ConnectionsProcess, BeyondTheLimitAClientIsToldKqmEBusyAndIsClosed) {
  Start({{"KQM_MAX_CONNECTIONS", "2"}});
  KQM_TClient first, second, waiting;
  SetUpClient(first);
  SetUpClient(second);
  EXPECT_EQ(Text(first.Call("Echo", KQ_TString("1"))), "1");
  EXPECT_EQ(Text(second.Call("Echo", KQ_TString("2"))), "2");

  // Refused as it connects, it learns why from its request.
  std::string expected = "the service TestService is busy: too many connections: 2 open";
  EXPECT_EQ(BusyMessage([&] { Echo("3"); }).rfind(expected, 0), 0u) << Log();
  vtps_test::ProgramRunner::Result call = runner_.Call({"TestService", "Echo", "\"4\""});
  EXPECT_EQ(call.exitCode, 2);
  EXPECT_EQ(call.err.rfind("KQM_EBusy: " + expected + ", at most 2 (KQM_MAX_CONNECTIONS 2)", 0), 0u)
      << call.err;
  // A client that connected while the server was full connects again for its request, and
  // is refused again.
  SetUpClient(waiting, KQM_TClient::kConnectNow);
  EXPECT_EQ(BusyMessage([&] { waiting.Call("Echo", KQ_TString("5")); }).rfind(expected, 0), 0u);

  // A connection that goes makes room for the next.
  first.Disconnect();
  EXPECT_TRUE(vtps_test::WaitUntil([&] {
    return BusyMessage([&] { waiting.Call("Echo", KQ_TString("6")); }).empty();
  })) << Log();
  EXPECT_EQ(Text(second.Call("Echo", KQ_TString("7"))), "7");

  std::string log = Log();
  EXPECT_GE(vtps_test::Occurrences(log, " 2 refused a connection from 127.0.0.1:"), 1u) << log;
  EXPECT_NE(log.find(" 4 descriptor limit "), std::string::npos) << log;
  StopServer();
}

TEST_F(ConnectionsProcess, IdleConnectionsCloseAndTheClientConnectsAgainUnasked) {
  Start({{"KQM_IDLE_TIMEOUT_MS", "300"}});
  KQM_TClient client;
  SetUpClient(client);
  EXPECT_EQ(Text(client.Call("Echo", KQ_TString("a"))), "a");
  ASSERT_TRUE(vtps_test::WaitUntil([&] {
    return vtps_test::Occurrences(Log(), ": idle for 300 ms (KQM_IDLE_TIMEOUT_MS)") >= 1;
  })) << Log();
  // The closed connection is noticed before the request leaves, and made again.
  EXPECT_EQ(Text(client.Call("Echo", KQ_TString("b"))), "b");
  // A request that runs longer than the timeout keeps its connection.
  EXPECT_TRUE(client.Call("Sleep", KQ_TInt(1000)) == KQ_TAny(true));

  // A request that arrives after the server closed the connection as idle is not run, and
  // the notice says so.
  client.Disconnect();
  asio::io_context io;
  tcp::socket raw(io);
  raw.connect({asio::ip::address_v4::loopback(), port_});
  std::string rawIdle = ":" + std::to_string(raw.local_endpoint().port()) +
                        "): idle for 300 ms (KQM_IDLE_TIMEOUT_MS)";
  ASSERT_TRUE(vtps_test::WaitUntil([&] { return Log().find(rawIdle) != std::string::npos; }))
      << Log();
  KQ_TDict request;
  request["M"] = KQ_TString("Stop");
  boost::system::error_code error;
  asio::write(raw, asio::buffer(kqm::EncodeFrame(kqm::MessageKind::kRequest, 1, KQ_TAny(request))),
              error);
  std::string received;
  char buffer[4096];
  while (!error)
    received.append(buffer, raw.read_some(asio::buffer(buffer), error));
  ASSERT_GT(received.size(), kqm::kFrameHeaderBytes) << error.message();
  kqm::Message notice = kqm::DecodePayload(std::string_view(received).substr(4));
  EXPECT_EQ(notice.id, 0u);
  EXPECT_EQ(notice.kind, kqm::MessageKind::kException);
  const auto* busy = notice.value.DynamicCast<KQM_EBusy>();
  ASSERT_NE(busy, nullptr);
  EXPECT_NE(busy->KQ_Message().Text().find("after 300 ms without a request (KQM_IDLE_TIMEOUT_MS)"),
            std::string::npos)
      << busy->KQ_Message().Text();
  EXPECT_EQ(Echo("still serving"), "still serving");  // the "Stop" was not run

  std::string log = Log();
  EXPECT_GE(vtps_test::Occurrences(log, " 4 closed connection "), 2u) << log;
  StopServer();
}

TEST_F(ConnectionsProcess, AnUnusableSettingStopsTheServerNamingIt) {
  for (const char* name : {"KQM_MAX_CONNECTIONS", "KQM_IDLE_TIMEOUT_MS"}) {
    os::ChildProcess::Options options;
    options.arguments = {std::to_string(port_)};
    options.stderrPath = dir_.File("stderr");
    options.environment = {{name, "-1"}};
    os::ChildProcess server =
        os::ChildProcess::Start(vtps_test::BuildProgram("tests/kqm-test-server"), options);
    EXPECT_EQ(server.WaitFor(std::chrono::seconds(20)), 1) << name;
    std::string err = vtps_test::ConsoleText(dir_.File("stderr"));
    EXPECT_NE(err.find(std::string(name) + " is \"-1\": expected a whole number"),
              std::string::npos)
        << err;
  }
}

#ifdef VTPS_PRLIMIT
// 400 idle connections against a server whose descriptor limit is 256: those beyond what the
// limit leaves room for are told KQM_EBusy and closed at once, none waits unaccepted, and once
// the accepted ones have been idle for the timeout a new client is served.
TEST_F(ConnectionsProcess, ManyIdleConnectionsUnderALowDescriptorLimitLockNoOneOut) {
  os::RaiseDescriptorLimit();  // this test holds 400 connections itself
  Start({{"KQM_IDLE_TIMEOUT_MS", "3000"}, {"KQM_WORKERS", "4"}},
        {VTPS_PRLIMIT, "--nofile=256:256", "--"});
  const std::size_t kIdle = 400;
  asio::io_context io;
  std::vector<std::unique_ptr<tcp::socket>> sockets;
  std::vector<std::string> received(kIdle);
  std::size_t closed = 0;
  char sink[4096];
  auto started = std::chrono::steady_clock::now();
  for (std::size_t i = 0; i < kIdle; ++i) {
    sockets.push_back(std::make_unique<tcp::socket>(io));
    sockets.back()->connect({asio::ip::address_v4::loopback(), port_});
  }
  // Each socket reads until the server closes it.
  std::function<void(std::size_t)> read = [&](std::size_t i) {
    sockets[i]->async_read_some(asio::buffer(sink),
                                [&, i](boost::system::error_code error, std::size_t count) {
                                  received[i].append(sink, count);
                                  if (error) {
                                    ++closed;
                                    return;
                                  }
                                  read(i);
                                });
  };
  for (std::size_t i = 0; i < kIdle; ++i)
    read(i);
  // Accepted ones are logged as opened (less the start-up probe's); every other one is told
  // it is refused and closed at once. Nothing is left waiting to be accepted.
  auto count = [&](const char* part) {
    std::size_t n = 0;
    for (const std::string& bytes : received)
      n += bytes.find(part) != std::string::npos ? 1 : 0;
    return n;
  };
  auto accepted = [&] { return vtps_test::Occurrences(Log(), ") opened\n") - 1; };
  ASSERT_TRUE(vtps_test::WaitUntil(
      [&] {
        io.run_for(std::chrono::milliseconds(50));
        return count("too many connections") + accepted() >= kIdle;
      },
      std::chrono::seconds(30)))
      << count("too many connections") << " refused, " << accepted() << " accepted\n"
      << Log();
  std::size_t refused = count("too many connections");
  EXPECT_GE(refused, kIdle - 192);  // 256 descriptors less 32 + 8 per worker
  EXPECT_LE(accepted(), 192u);
  // Every connection closed so far was refused or had idled for the timeout, and said so.
  EXPECT_EQ(closed, refused + count("without a request (KQM_IDLE_TIMEOUT_MS)"));

  // The server serves again once the idle ones have timed out.
  auto asked = std::chrono::steady_clock::now();
  bool served = vtps_test::WaitUntil(
      [&] {
        io.run_for(std::chrono::milliseconds(50));
        return BusyMessage([&] { Echo("fresh"); }).empty();
      },
      std::chrono::seconds(30));
  EXPECT_TRUE(served) << Log();
  auto waited = std::chrono::steady_clock::now() - asked;
  EXPECT_LT(waited, std::chrono::seconds(20));

  std::string log = Log();
  EXPECT_NE(log.find(" 4 descriptor limit 256; connections at most 192 (KQM_MAX_CONNECTIONS 1024; "
                     "descriptor limit 256, 64 kept for the server's own use)"),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("cannot accept"), std::string::npos) << log;
  auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started)
          .count();
  EXPECT_LE(vtps_test::Occurrences(log, " 2 refused a connection from "),
            static_cast<std::size_t>(seconds) + 2)
      << log;
  sockets.clear();
  StopServer();
}
#endif

}  // namespace
