// The server stays responsive and stoppable whatever its processor does: processor slots, the
// bounded queue, the status probe, the metrics listener and the stop deadline.
#include <gtest/gtest.h>

#include <utility>  // Boost 1.74 Asio uses std::exchange without including it

#include <boost/asio.hpp>
#include <filesystem>
#include <future>
#include <thread>

#include "platform/kqmware/kqmware.h"
#include "platform/kqtypes/kqtypes.h"
#include "platform/os/os.h"
#include "tests/support/gate.h"
#include "tests/support/scoped_env.h"
#include "tests/support/test_support.h"

namespace {

using namespace std::chrono_literals;

using vtps_test::Gate;

// Requests "Hold" wait inside the processor until the test opens the gate; "Tree" runs a
// process tree that never ends by itself (P1: the file its ids go to) and answers how the run
// ended; anything else answers P1.
void Process(KQM_TServer&, const KQ_TDict& request, KQ_TAny& answer, void* user) {
  const KQ_TString* method = request["M"].DynamicCast<KQ_TString>();
  if (method != nullptr && *method == "Hold") {
    static_cast<Gate*>(user)->Enter();
  } else if (method != nullptr && *method == "Tree") {
    std::string line =
        vtps_test::NativePath(vtps_test::BuildProgram("tests/support/tree-sleeper")) + " " +
        request["P1"].DynamicCast<KQ_TString>()->Text() + " 60";
    os::CommandResult result = os::RunCommandTree(line, 0ms);
    answer = result.ended == os::CommandResult::Ended::kStopped ? "stopped" : "not stopped";
    return;
  }
  answer = request["P1"];
}

// Every wait in these tests ends: a status probe that needed a slot would fail here.
kqm::ClientOptions Patient() {
  kqm::ClientOptions options;
  options.requestTimeoutMs = 20000;
  return options;
}

// Options with `workers` processor slots and room for `queue` waiting requests.
kqm::ServerOptions Slots(int workers, std::size_t queue) {
  kqm::ServerOptions options;
  options.workers = workers;
  options.queueLimit = queue;
  return options;
}

// A server with the given options whose event loop runs on its own thread.
class Server {
 public:
  Server(const kqm::ServerOptions& options, Gate& gate) : port_(vtps_test::FreePort()) {
    server_.Bind("TestService", port_, 0, false, options);
    server_.SetProcessor(&Process, &gate);
    loop_ = std::async(std::launch::async, [this] { server_.EventLoop(-1); });
  }
  ~Server() {
    server_.Shutdown();
    loop_.wait();
    server_.Close();
  }

  KQM_TServer& Get() { return server_; }
  std::uint16_t Port() const { return port_; }
  bool LoopReturnsWithin(std::chrono::seconds timeout) {
    return loop_.wait_for(timeout) == std::future_status::ready;
  }

  // A request on a connection of its own, answered on another thread.
  std::future<KQ_TAny> Send(const char* method, const KQ_TAny& parameter = KQ_TAny("x")) {
    return std::async(std::launch::async, [port = port_, method, parameter] {
      KQM_TClient client(Patient());
      client.SetConnectionAddress("localhost", "TestService", port, KQM_TClient::kConnectNow);
      return client.Call(method, parameter);
    });
  }

  KQ_TDict Status() {
    KQM_TClient client(Patient());
    client.SetConnectionAddress("localhost", "TestService", port_, KQM_TClient::kConnectNow);
    return client.Status();
  }
  std::int64_t Count(const char* field) { return Status()[field].DynamicCast<KQ_TInt>()->Value(); }

 private:
  KQM_TServer server_;
  std::uint16_t port_;
  std::future<void> loop_;
};

// The message of the KQM_EBusy `answer` raises, or "" when it raises none.
std::string BusyMessage(std::future<KQ_TAny>& answer) {
  try {
    answer.get();
  } catch (const KQM_EBusy& busy) {
    return busy.KQ_Message().Text();
  }
  return "";
}

class Availability : public ::testing::Test {
 protected:
  void SetUp() override { __KQ_INITIALIZATION_FUNCTION_KQMWare__(); }
  Gate gate_;
};

TEST_F(Availability, BusySlotsQueueThenRefuseWhileTheStatusProbeAnswers) {
  Server server(Slots(2, 1), gate_);
  std::future<KQ_TAny> running[] = {server.Send("Hold"), server.Send("Hold")};
  ASSERT_TRUE(gate_.AwaitInside(2));
  EXPECT_EQ(server.Count("running"), 2);
  EXPECT_EQ(server.Count("queued"), 0);

  std::future<KQ_TAny> waiting = server.Send("Echo", KQ_TAny("waited"));
  ASSERT_TRUE(vtps_test::WaitUntil([&] { return server.Count("queued") == 1; }));
  std::future<KQ_TAny> refused = server.Send("Echo");
  std::string message = BusyMessage(refused);
  EXPECT_NE(message.find("the service TestService is busy: 2 requests running and 1 waiting"),
            std::string::npos)
      << message;

  KQ_TDict status = server.Status();
  EXPECT_EQ(status["refused"].DynamicCast<KQ_TInt>()->Value(), 1);
  EXPECT_EQ(status["workers"].DynamicCast<KQ_TInt>()->Value(), 2);
  EXPECT_EQ(status["queueLimit"].DynamicCast<KQ_TInt>()->Value(), 1);
  EXPECT_EQ(status["service"].DynamicCast<KQ_TString>()->Text(), "TestService");

  gate_.Open();
  for (auto& answer : running)
    EXPECT_TRUE(answer.get() == KQ_TAny("x"));
  EXPECT_TRUE(waiting.get() == KQ_TAny("waited"));
  EXPECT_EQ(server.Count("answered"), 3);
  EXPECT_EQ(server.Count("running"), 0);
}

TEST_F(Availability, WithoutAQueueTheNextRequestIsRefusedAtOnce) {
  Server server(Slots(1, 0), gate_);
  std::future<KQ_TAny> holding = server.Send("Hold");
  ASSERT_TRUE(gate_.AwaitInside(1));
  std::future<KQ_TAny> refused = server.Send("Echo");
  EXPECT_NE(BusyMessage(refused).find("1 requests running and 0 waiting"), std::string::npos);
  gate_.Open();
  EXPECT_TRUE(holding.get() == KQ_TAny("x"));
}

TEST_F(Availability, StopRefusesWaitersAndEndsHungProcessorsAtTheDeadline) {
  vtps_test::TempDir dir;
  kqm::ServerOptions options = Slots(1, 4);
  options.stopTimeoutMs = 300;
  Server server(options, gate_);
  std::string ids = dir.File("ids");
  std::future<KQ_TAny> hung = server.Send("Tree", KQ_TAny(vtps_test::NativePath(ids)));
  ASSERT_TRUE(vtps_test::WaitUntil([&] { return std::filesystem::exists(ids); }));
  std::future<KQ_TAny> waiting = server.Send("Echo");
  ASSERT_TRUE(vtps_test::WaitUntil([&] { return server.Count("queued") == 1; }));

  server.Get().Shutdown();
  EXPECT_NE(BusyMessage(waiting).find("the service TestService is stopping"), std::string::npos);
  EXPECT_TRUE(hung.get() == KQ_TAny("stopped")) << "the running request is still answered";
  EXPECT_TRUE(server.LoopReturnsWithin(20s));
}

TEST_F(Availability, MetricsListenerServesMetricsAndHealth) {
  kqm::ServerOptions options;
  options.metricsListen = kqm::ListenPoint{"127.0.0.1", 0};
  Server server(options, gate_);
  ASSERT_NE(server.Get().MetricsPort(), 0);
  server.Send("Echo").get();
  auto get = [&](const std::string& target) {
    boost::asio::io_context io;
    boost::asio::ip::tcp::socket socket(io);
    socket.connect({boost::asio::ip::address_v4::loopback(), server.Get().MetricsPort()});
    std::string request = "GET " + target + " HTTP/1.1\r\nHost: x\r\n\r\n";
    boost::asio::write(socket, boost::asio::buffer(request));
    std::string response;
    boost::system::error_code error;
    boost::asio::read(socket, boost::asio::dynamic_buffer(response), error);
    return response;
  };
  std::string metrics = get("/metrics");
  EXPECT_EQ(metrics.rfind("HTTP/1.1 200", 0), 0u) << metrics;
  EXPECT_NE(metrics.find("kqm_requests_total{service=\"TestService\",outcome=\"answered\"} 1"),
            std::string::npos)
      << metrics;
  EXPECT_EQ(get("/health").rfind("HTTP/1.1 200", 0), 0u);
  EXPECT_EQ(get("/other").rfind("HTTP/1.1 404", 0), 0u);
}

}  // namespace
