// Load driver: the middleware over NATS against its floor, bare libnats, and against direct
// TCP, in one run. Starts its own nats-server on a free port, binds one in-process server
// over TCP and one over NATS (a processor that answers at once), and runs a bare libnats
// echo beside them: a queue subscriber that publishes each request's bytes back to its
// reply subject, and callers using natsConnection_Request with the bytes the middleware
// sends for the same request. Measures the one-connection p50 of a small request and the
// throughput with 4 connections on all three, and prints the ratios: the middleware over
// NATS against the bare echo (its own floor), and against TCP.
//
//   build/linux/bench/kqm_nats_bench [seconds per case, default 3]
#include <utility>  // Boost 1.74 Asio uses std::exchange without including it

#include <nats/nats.h>

#include <boost/asio.hpp>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "bench/call_timing.h"
#include "platform/kqmware/kqmware.h"
#include "platform/kqmware/program_options.h"
#include "platform/kqmware/wire.h"
#include "platform/kqtypes/kqtypes.h"
#include "platform/os/child_process.h"
#include "platform/os/os.h"
#include "tests/support/test_support.h"

namespace asio = boost::asio;
using asio::ip::tcp;

namespace {

constexpr const char* kNatsServer = "/usr/sbin/nats-server";

bool Listening(std::uint16_t port) {
  asio::io_context io;
  tcp::socket socket(io);
  boost::system::error_code error;
  socket.connect(tcp::endpoint(asio::ip::address_v4::loopback(), port), error);
  return !error;
}

void Answer(KQM_TServer&, const KQ_TDict& request, KQ_TAny& answer, void*) {
  answer = request["P1"];
}

// A server bound now (over NATS when options.natsUrl is set), serving on a thread of its own.
class RunningServer {
 public:
  RunningServer(std::uint16_t port, const kqm::ServerOptions& options) {
    server_.Bind("BenchService", port, 0, false, options);
    server_.SetProcessor(&Answer, nullptr);
    loop_ = std::thread([this] { server_.EventLoop(-1); });
  }
  ~RunningServer() {
    server_.Shutdown();
    loop_.join();
    server_.Close();
  }

 private:
  KQM_TServer server_;
  std::thread loop_;
};

// Dies with a message when libnats fails: the bare echo has no other way to report.
void Check(natsStatus status, const char* what) {
  if (status != NATS_OK) {
    std::fprintf(stderr, "kqm_nats_bench: %s: %s\n", what, natsStatus_GetText(status));
    std::exit(2);
  }
}

// A connection that sends each message at once, as the middleware's do: libnats otherwise
// leaves a publish to its flusher thread, which adds up to a millisecond.
natsConnection* ConnectBare(const std::string& url) {
  natsOptions* options = nullptr;
  Check(natsOptions_Create(&options), "making NATS options");
  Check(natsOptions_SetURL(options, url.c_str()), "setting the NATS URL");
  Check(natsOptions_SetSendAsap(options, true), "setting send-at-once");
  natsConnection* connection = nullptr;
  Check(natsConnection_Connect(&connection, options), "connecting to NATS");
  natsOptions_Destroy(options);
  return connection;
}

// The floor: a queue subscriber that answers each request with its own bytes, on libnats'
// delivery thread.
class BareEcho {
 public:
  explicit BareEcho(const std::string& url) : connection_(ConnectBare(url)) {
    Check(natsConnection_QueueSubscribe(&subscription_, connection_, kSubject, "bench",
                                        &BareEcho::OnRequest, this),
          "subscribing the echo");
    Check(natsConnection_Flush(connection_), "flushing the echo's subscription");
  }
  ~BareEcho() {
    natsSubscription_Unsubscribe(subscription_);
    natsSubscription_Destroy(subscription_);
    natsConnection_Destroy(connection_);
  }

  static constexpr const char* kSubject = "bench.echo";

 private:
  static void OnRequest(natsConnection*, natsSubscription*, natsMsg* message, void* closure) {
    auto* echo = static_cast<BareEcho*>(closure);
    natsConnection_Publish(echo->connection_, natsMsg_GetReply(message), natsMsg_GetData(message),
                           natsMsg_GetDataLength(message));
    natsMsg_Destroy(message);
  }

  natsConnection* connection_;
  natsSubscription* subscription_ = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
  double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
  if (!std::filesystem::exists(kNatsServer)) {
    std::fprintf(stderr, "kqm_nats_bench: %s is missing (Debian package nats-server)\n",
                 kNatsServer);
    return 2;
  }
  // The environment's settings, but for the NATS URL, which each case sets itself.
  kqm::ProgramOptions program = kqm::ProgramOptions::FromEnvironment();
  program.server.natsUrl.reset();
  program.client.natsUrl.reset();
  kqm::UseProgramOptions(program);
  __KQ_INITIALIZATION_FUNCTION_KQMWare__();
  std::uint16_t natsPort = vtps_test::FreePort();
  os::ChildProcess::Options options;
  options.arguments = {"-a", "127.0.0.1", "-p", std::to_string(natsPort)};
  os::ChildProcess nats = os::ChildProcess::Start(kNatsServer, options);
  for (int i = 0; i < 200 && !Listening(natsPort); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  std::string url = "nats://127.0.0.1:" + std::to_string(natsPort);

  std::uint16_t tcpPort = vtps_test::FreePort();
  kqm::ServerOptions natsServerOptions = program.server;
  natsServerOptions.natsUrl = url;
  kqm::ClientOptions natsClientOptions = program.client;
  natsClientOptions.natsUrl = url;
  RunningServer overTcp(tcpPort, program.server);
  RunningServer overBus(0, natsServerOptions);

  const KQ_TDict request = bench::SmallRequest("Help");
  auto tcpClient = [tcpPort, &request, &program] {
    auto client = std::make_shared<KQM_TClient>(program.client);
    client->SetConnectionAddress("localhost", "BenchService", tcpPort, KQM_TClient::kConnectNow);
    return [client, &request] { client->Request(request); };
  };
  auto natsClient = [&request, &natsClientOptions] {
    auto client = std::make_shared<KQM_TClient>(natsClientOptions);
    client->SetConnectionAddress("", "BenchService", 0, KQM_TClient::kConnectNow);
    return [client, &request] { client->Request(request); };
  };

  // The bytes the middleware's client publishes for this request (a frame without its length).
  const std::string payload =
      kqm::EncodeFrame(kqm::MessageKind::kRequest, 1, request).substr(kqm::kFrameHeaderBytes);
  BareEcho echo(url);
  auto bareClient = [&url, &payload] {
    std::shared_ptr<natsConnection> connection(ConnectBare(url), &natsConnection_Destroy);
    return [connection, &payload] {
      natsMsg* reply = nullptr;
      Check(natsConnection_Request(&reply, connection.get(), BareEcho::kSubject, payload.data(),
                                   static_cast<int>(payload.size()), 5000),
            "a bare request");
      natsMsg_Destroy(reply);
    };
  };

  std::printf("nats-server at %s, %.1f s per case, %zu-byte request\n", url.c_str(), seconds,
              payload.size());
  std::printf("%-6s %-5s %10s %12s\n", "conns", "path", "p50 us", "req/s");
  bench::CallTiming tcp1 = bench::TimeConcurrentCalls(1, seconds, tcpClient);
  bench::CallTiming tcp4 = bench::TimeConcurrentCalls(4, seconds, tcpClient);
  bench::CallTiming bare1 = bench::TimeConcurrentCalls(1, seconds, bareClient);
  bench::CallTiming bare4 = bench::TimeConcurrentCalls(4, seconds, bareClient);
  bench::CallTiming nats1 = bench::TimeConcurrentCalls(1, seconds, natsClient);
  bench::CallTiming nats4 = bench::TimeConcurrentCalls(4, seconds, natsClient);
  std::printf("%-6d %-5s %10.1f %12.0f\n", 1, "tcp", tcp1.p50Us, tcp1.perSecond);
  std::printf("%-6d %-5s %10.1f %12.0f\n", 1, "bare", bare1.p50Us, bare1.perSecond);
  std::printf("%-6d %-5s %10.1f %12.0f\n", 1, "nats", nats1.p50Us, nats1.perSecond);
  std::printf("%-6d %-5s %10.1f %12.0f\n", 4, "tcp", tcp4.p50Us, tcp4.perSecond);
  std::printf("%-6d %-5s %10.1f %12.0f\n", 4, "bare", bare4.p50Us, bare4.perSecond);
  std::printf("%-6d %-5s %10.1f %12.0f\n", 4, "nats", nats4.p50Us, nats4.perSecond);
  std::printf("p50 NATS/bare (1 connection): %.2f\n", nats1.p50Us / bare1.p50Us);
  std::printf("throughput NATS/bare (4 connections): %.2f\n", nats4.perSecond / bare4.perSecond);
  std::printf("p50 NATS/TCP (1 connection): %.2f; throughput NATS/TCP (4 connections): %.2f\n",
              nats1.p50Us / tcp1.p50Us, nats4.perSecond / tcp4.perSecond);
  nats.Terminate();
  nats.WaitFor(std::chrono::seconds(10));
  return 0;
}
