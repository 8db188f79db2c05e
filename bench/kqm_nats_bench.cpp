// Load driver: the middleware over NATS against direct TCP in one run. Starts its own
// nats-server on a free port, binds one in-process server over TCP and one over NATS (a
// processor that answers at once), and measures the one-connection p50 of a small request
// and the throughput with 4 connections on both. Prints the ratios the cluster work is held
// to (p50 over NATS / TCP, throughput over NATS / TCP).
//
//   build/linux/bench/kqm_nats_bench [seconds per case, default 3]
#include <utility>  // Boost 1.74 Asio uses std::exchange without including it

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

// A server bound now (over NATS when KQM_NATS_URL is set), serving on a thread of its own.
class RunningServer {
 public:
  explicit RunningServer(std::uint16_t port) {
    server_.Bind("BenchService", port, 0, false);
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

}  // namespace

int main(int argc, char** argv) {
  double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
  if (!std::filesystem::exists(kNatsServer)) {
    std::fprintf(stderr, "kqm_nats_bench: %s is missing (Debian package nats-server)\n",
                 kNatsServer);
    return 2;
  }
  __KQ_INITIALIZATION_FUNCTION_KQMWare__();
  std::uint16_t natsPort = vtps_test::FreePort();
  os::ChildProcess::Options options;
  options.arguments = {"-a", "127.0.0.1", "-p", std::to_string(natsPort)};
  os::ChildProcess nats = os::ChildProcess::Start(kNatsServer, options);
  for (int i = 0; i < 200 && !Listening(natsPort); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  std::string url = "nats://127.0.0.1:" + std::to_string(natsPort);

  std::uint16_t tcpPort = vtps_test::FreePort();
  os::UnsetEnv("KQM_NATS_URL");
  RunningServer overTcp(tcpPort);
  os::SetEnv("KQM_NATS_URL", url);
  RunningServer overNats(0);
  os::UnsetEnv("KQM_NATS_URL");

  const KQ_TDict request = bench::SmallRequest("Help");
  auto tcpClient = [tcpPort, &request] {
    auto client = std::make_shared<KQM_TClient>();
    client->SetConnectionAddress("localhost", "BenchService", tcpPort, KQM_TClient::kConnectNow);
    return [client, &request] { client->Request(request); };
  };
  // The client reads KQM_NATS_URL when it is aimed: every thread reads the same value.
  auto natsClient = [&request] {
    auto client = std::make_shared<KQM_TClient>();
    client->SetConnectionAddress("", "BenchService", 0, KQM_TClient::kConnectNow);
    return [client, &request] { client->Request(request); };
  };

  std::printf("nats-server at %s, %.1f s per case\n", url.c_str(), seconds);
  std::printf("%-6s %-5s %10s %12s\n", "conns", "path", "p50 us", "req/s");
  bench::CallTiming tcp1 = bench::TimeConcurrentCalls(1, seconds, tcpClient);
  bench::CallTiming tcp4 = bench::TimeConcurrentCalls(4, seconds, tcpClient);
  os::SetEnv("KQM_NATS_URL", url);
  bench::CallTiming nats1 = bench::TimeConcurrentCalls(1, seconds, natsClient);
  bench::CallTiming nats4 = bench::TimeConcurrentCalls(4, seconds, natsClient);
  os::UnsetEnv("KQM_NATS_URL");
  std::printf("%-6d %-5s %10.1f %12.0f\n", 1, "tcp", tcp1.p50Us, tcp1.perSecond);
  std::printf("%-6d %-5s %10.1f %12.0f\n", 1, "nats", nats1.p50Us, nats1.perSecond);
  std::printf("%-6d %-5s %10.1f %12.0f\n", 4, "tcp", tcp4.p50Us, tcp4.perSecond);
  std::printf("%-6d %-5s %10.1f %12.0f\n", 4, "nats", nats4.p50Us, nats4.perSecond);
  std::printf("p50 NATS/TCP (1 connection): %.2f; throughput NATS/TCP (4 connections): %.2f\n",
              nats1.p50Us / tcp1.p50Us, nats4.perSecond / tcp4.perSecond);
  nats.Terminate();
  nats.WaitFor(std::chrono::seconds(10));
  return 0;
}
