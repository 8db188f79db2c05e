// The servers as systemd sees them: ntr-server, VantricProcessServer and the test server
// started with NOTIFY_SOCKET naming a datagram socket the test holds, and with WATCHDOG_USEC,
// as systemd starts a unit of Type=notify with a watchdog. Linux only.
#include <gtest/gtest.h>

#include <utility>  // Boost 1.74 Asio uses std::exchange without including it

#include <boost/asio.hpp>
#include <optional>
#include <string>
#include <vector>

#include "platform/os/child_process.h"
#include "tests/support/program_runner.h"

namespace {

using namespace std::chrono_literals;
namespace asio = boost::asio;

// The service manager's end of the notify protocol: a datagram socket bound at a path that
// keeps every message the programs send, in order.
class NotifySocket {
 public:
  explicit NotifySocket(std::string path)
      : path_(std::move(path)), socket_(io_, asio::local::datagram_protocol::endpoint(path_)) {}

  const std::string& Path() const { return path_; }

  // Receives until a message holding `part` arrives; returns it, or nullopt after `timeout`.
  std::optional<std::string> WaitFor(const std::string& part,
                                     std::chrono::milliseconds timeout = 20s) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (auto now = std::chrono::steady_clock::now(); now < deadline;
         now = std::chrono::steady_clock::now()) {
      std::optional<std::string> message =
          Receive(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now));
      if (message && message->find(part) != std::string::npos)
        return message;
    }
    return std::nullopt;
  }

  // The messages that arrive within `span`.
  std::vector<std::string> ReceiveFor(std::chrono::milliseconds span) {
    std::vector<std::string> received;
    auto deadline = std::chrono::steady_clock::now() + span;
    for (auto now = std::chrono::steady_clock::now(); now < deadline;
         now = std::chrono::steady_clock::now()) {
      std::optional<std::string> message =
          Receive(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now));
      if (message)
        received.push_back(*message);
    }
    return received;
  }

  // Every message received so far, one per line.
  std::string Transcript() const {
    std::string text;
    for (const std::string& message : messages_)
      text += message + "\n";
    return text;
  }

  // How many messages received so far hold `part`.
  std::size_t Count(const std::string& part) const {
    std::size_t count = 0;
    for (const std::string& message : messages_)
      count += message.find(part) != std::string::npos ? 1 : 0;
    return count;
  }

 private:
  std::optional<std::string> Receive(std::chrono::milliseconds timeout) {
    std::optional<std::string> message;
    char buffer[4096];
    socket_.async_receive(asio::buffer(buffer),
                          [&](boost::system::error_code error, std::size_t size) {
                            if (!error)
                              message.emplace(buffer, size);
                          });
    io_.restart();
    io_.run_for(timeout);
    if (!io_.stopped()) {
      socket_.cancel();
      io_.restart();
      io_.run();
    }
    if (message)
      messages_.push_back(*message);
    return message;
  }

  std::string path_;
  asio::io_context io_;
  asio::local::datagram_protocol::socket socket_;
  std::vector<std::string> messages_;
};

// The number after `key=` in `message`, or -1.
long long Value(const std::string& message, const std::string& key) {
  std::size_t at = message.find(key + "=");
  return at == std::string::npos ? -1 : std::stoll(message.substr(at + key.size() + 1));
}

// What GET `path` on the metrics listener at `port` answers: its status line and body; "" when
// nothing answers within 5 seconds.
std::string HttpGet(std::uint16_t port, const std::string& path) {
  asio::io_context io;
  asio::ip::tcp::socket socket(io);
  std::string request = "GET " + path + " HTTP/1.1\r\nHost: x\r\n\r\n";
  std::string response;
  char buffer[4096];
  std::function<void(boost::system::error_code, std::size_t)> read =
      [&](boost::system::error_code error, std::size_t size) {
        response.append(buffer, size);
        if (!error)
          socket.async_read_some(asio::buffer(buffer), read);
      };
  socket.async_connect({asio::ip::address_v4::loopback(), port}, [&](auto error) {
    if (!error) {
      asio::async_write(socket, asio::buffer(request), [&](auto writeError, std::size_t) {
        if (!writeError)
          socket.async_read_some(asio::buffer(buffer), read);
      });
    }
  });
  io.run_for(5s);
  return response;
}

class Supervised : public ::testing::Test {
 protected:
  void SetUp() override {
    ports_ = vtps_test::WriteServicesFile(dir_.File("services"));
    std::filesystem::create_directory(dir_.File("jobs"));
    vtps_test::WriteFile(dir_.File("ntr.xml"),
                         "<configuration><Servers><VantricProcessServer><Configuration>\n"
                         "<ProgPathEnvVar>VTPS_TEST_HOME</ProgPathEnvVar>\n"
                         "<ProgramDirectory>test/</ProgramDirectory>\n"
                         "<WorkingDirectory type=\"url\">" +
                             vtps_test::FileUrl(dir_.File("jobs")) +
                             "</WorkingDirectory>\n"
                             "<HangTree>hang-tree.sh</HangTree>\n"
                             "</Configuration></VantricProcessServer></Servers></configuration>\n");
    run_.environment = {
        {"KQM_SERVICES", dir_.File("services")},
        {"KQM_DEBUG_LOG", dir_.File("debug.log")},
        {"KQM_DEBUG_LEVEL", "1"},
        {"VTPS_TEST_HOME", std::string(VTPS_SOURCE_DIR) + "/processors"},
        {"VTPS_TREE_SLEEPER", vtps_test::BuildProgram("tests/support/tree-sleeper")},
        {"VTPS_TREE_IDS", dir_.File("tree-ids")},
        // A keep-alive every 200 ms.
        {"WATCHDOG_USEC", "400000"},
    };
  }

  // Starts `program` telling `notify`.
  os::ChildProcess StartSupervised(const std::string& program, std::vector<std::string> arguments,
                                   const std::string& name, const NotifySocket& notify) {
    vtps_test::ProgramRunner runner(dir_);
    runner.environment = run_.environment;
    runner.environment.push_back({"NOTIFY_SOCKET", notify.Path()});
    return runner.Start(program, std::move(arguments), name);
  }

  std::string Log() const { return vtps_test::ReadFile(dir_.File("debug.log")); }

  vtps_test::TempDir dir_;
  vtps_test::ServicePorts ports_;
  vtps_test::ProgramRunner run_{dir_};
};

TEST_F(Supervised, ReadyOnceServingThenStatusKeepAliveAndAnAnnouncedStop) {
  NotifySocket ntrNotify(dir_.File("ntr.sock"));
  os::ChildProcess ntr =
      StartSupervised("tools/ntr-server/ntr-server", {dir_.File("ntr.xml")}, "ntr", ntrNotify);
  ASSERT_TRUE(ntrNotify.WaitFor("READY=1")) << ntrNotify.Transcript() << run_.Err("ntr");
  // Ready means answering: no retry.
  EXPECT_EQ(run_.Call({"NTR", "KeysAt", "\"\""}).exitCode, 0);

  NotifySocket serverNotify(dir_.File("server.sock"));
  run_.environment.push_back({"KQM_STOP_TIMEOUT_MS", "60000"});
  os::ChildProcess server =
      StartSupervised("server/VantricProcessServer", {}, "server", serverNotify);
  ASSERT_TRUE(serverNotify.WaitFor("READY=1")) << serverNotify.Transcript() << Log();
  EXPECT_EQ(run_.Call({"VantricProcessServer", "Help"}).exitCode, 0);
  // Readiness came after the configuration load began (and so after it ended).
  EXPECT_EQ(serverNotify.Count("STATUS=starting: loading the configuration from NTR"), 1u)
      << serverNotify.Transcript();

  // The status line follows what runs, at most once a second; the keep-alive goes on.
  os::ChildProcess hang =
      run_.Start("tools/kqm-call/kqm-call", {"VantricProcessServer", "HangTree", "{}"}, "hang");
  EXPECT_TRUE(serverNotify.WaitFor("STATUS=serving: 1 running, 0 queued, 1 answered"))
      << serverNotify.Transcript();
  ASSERT_TRUE(vtps_test::WaitUntil([&] {
    serverNotify.ReceiveFor(100ms);
    return serverNotify.Count("WATCHDOG=1") >= 3;
  })) << serverNotify.Transcript();

  // A stop says so at once and asks for the time the running request may still take.
  server.Terminate();
  std::optional<std::string> stopping = serverNotify.WaitFor("STOPPING=1");
  ASSERT_TRUE(stopping) << serverNotify.Transcript();
  EXPECT_GE(Value(*stopping, "EXTEND_TIMEOUT_USEC"), 55'000'000) << *stopping;
  EXPECT_TRUE(serverNotify.WaitFor("STATUS=stopping: 1 running")) << serverNotify.Transcript();
  EXPECT_EQ(server.WaitFor(0ms), std::nullopt);
  // A second stop ends the processor; the server ends with 0.
  server.Terminate();
  EXPECT_EQ(server.WaitFor(20s), 0);
  EXPECT_NE(hang.WaitFor(20s), std::nullopt);

  EXPECT_TRUE(vtps_test::WaitUntil([&] {
    ntrNotify.ReceiveFor(100ms);
    return ntrNotify.Count("WATCHDOG=1") >= 2;
  })) << ntrNotify.Transcript();
  ntr.Terminate();
  EXPECT_TRUE(ntrNotify.WaitFor("STOPPING=1")) << ntrNotify.Transcript();
  EXPECT_EQ(ntr.WaitFor(20s), 0);
}

TEST_F(Supervised, AStartFailureIsTheStatusAndNoReadiness) {
  NotifySocket notify(dir_.File("server.sock"));
  // Something else holds the server's port.
  asio::io_context io;
  asio::ip::tcp::acceptor squatter(io, {asio::ip::address_v4::loopback(), ports_.server});
  os::ChildProcess server = StartSupervised("server/VantricProcessServer", {}, "server", notify);
  EXPECT_EQ(server.WaitFor(60s), 1);
  EXPECT_TRUE(notify.WaitFor("STATUS=VantricProcessServer stopped:", 1s)) << notify.Transcript();
  EXPECT_EQ(notify.Count("READY=1"), 0u) << notify.Transcript();
  EXPECT_NE(Log().find(" 0 VantricProcessServer stopped:"), std::string::npos) << Log();
}

// A server whose control strand is wedged: the keep-alive stops and /health says 503, with a
// watchdog and without a service manager at all.
TEST_F(Supervised, AWedgedServerStopsItsKeepAliveAndIsNotHealthy) {
  for (bool supervised : {true, false}) {
    SCOPED_TRACE(supervised ? "with a watchdog" : "without a service manager");
    std::uint16_t port = vtps_test::FreePort();
    std::uint16_t metricsPort = vtps_test::FreePort();
    NotifySocket notify(dir_.File(supervised ? "wedge-1.sock" : "wedge-0.sock"));
    vtps_test::ProgramRunner runner(dir_);
    runner.environment = {{"KQM_DEBUG_LOG", dir_.File("debug.log")},
                          {"KQM_WORKERS", "1"},
                          {"KQM_METRICS_LISTEN", "127.0.0.1:" + std::to_string(metricsPort)}};
    if (supervised) {
      runner.environment.push_back({"NOTIFY_SOCKET", notify.Path()});
      runner.environment.push_back({"WATCHDOG_USEC", "400000"});
    }
    os::ChildProcess server =
        runner.Start("tests/kqm-test-server", {std::to_string(port), "wedge"}, "wedge");
    ASSERT_TRUE(vtps_test::WaitUntil([&] {
      return HttpGet(metricsPort, "/health").rfind("HTTP/1.1 200", 0) == 0;
    })) << runner.Err("wedge");
    if (supervised) {
      ASSERT_TRUE(notify.WaitFor("WATCHDOG=1")) << notify.Transcript();
    }

    // The first connection wedges the strand.
    asio::io_context io;
    asio::ip::tcp::socket client(io);
    client.connect({asio::ip::address_v4::loopback(), port});
    std::string health;
    EXPECT_TRUE(vtps_test::WaitUntil([&] {
      health = HttpGet(metricsPort, "/health");
      return health.rfind("HTTP/1.1 503", 0) == 0;
    })) << health;
    EXPECT_NE(health.find("not responding"), std::string::npos) << health;
    // /metrics still answers: the other threads turn.
    EXPECT_EQ(HttpGet(metricsPort, "/metrics").rfind("HTTP/1.1 200", 0), 0u);
    if (supervised) {
      notify.ReceiveFor(200ms);  // what was sent before the wedge
      std::size_t before = notify.Count("WATCHDOG=1");
      // Five keep-alive intervals.
      notify.ReceiveFor(1s);
      EXPECT_EQ(notify.Count("WATCHDOG=1"), before) << notify.Transcript();
    }
    server.Kill();
    server.WaitFor(20s);
  }
}

}  // namespace
