// Load driver: the middleware over NATS against direct TCP in one run. Starts its own
// nats-server on a free port, binds one in-process server over TCP and one over NATS (a
// processor that answers at once), and measures the one-connection p50 of a small request
// and the throughput with 4 connections on both. Prints the ratios the cluster work is held
// to (p50 over NATS / TCP, throughput over NATS / TCP).
//
//   build/linux/bench/kqm_nats_bench [seconds per case, default 3]
#include <utility>  // Boost 1.74 Asio uses std::exchange without including it

#include <algorithm>
#include <boost/asio.hpp>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "platform/kqmware/kqmware.h"
#include "platform/kqtypes/kqtypes.h"
#include "platform/os/child_process.h"
#include "platform/os/os.h"

namespace asio = boost::asio;
using asio::ip::tcp;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kNatsServer = "/usr/sbin/nats-server";

struct Result {
  double p50Us = 0;
  double perSecond = 0;
};

KQ_TDict SmallRequest() {
  KQ_TDict request;
  request["M"] = "Help";
  KQ_TDict parameters;
  parameters["file"] = "report.pdf";
  request["P1"] = parameters;
  return request;
}

// Runs a client made by `makeClient` on `connections` threads at once for `seconds` (after
// a warm-up), timing every request.
template <class MakeClient>
Result Measure(int connections, double seconds, MakeClient makeClient) {
  std::vector<std::vector<double>> samples(static_cast<std::size_t>(connections));
  std::vector<std::thread> threads;
  auto length = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  KQ_TDict request = SmallRequest();
  for (int i = 0; i < connections; ++i) {
    threads.emplace_back([&, i] {
      std::unique_ptr<KQM_TClient> client = makeClient();
      for (int warm = 0; warm < 200; ++warm)
        client->Request(request);
      auto end = Clock::now() + length;
      auto& mine = samples[static_cast<std::size_t>(i)];
      while (Clock::now() < end) {
        auto start = Clock::now();
        client->Request(request);
        mine.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
      }
    });
  }
  for (auto& thread : threads)
    thread.join();
  std::vector<double> all;
  for (auto& s : samples)
    all.insert(all.end(), s.begin(), s.end());
  std::sort(all.begin(), all.end());
  Result result;
  if (!all.empty()) {
    result.p50Us = all[all.size() / 2];
    result.perSecond = static_cast<double>(all.size()) / seconds;
  }
  return result;
}

std::uint16_t FreeLoopbackPort() {
  asio::io_context io;
  tcp::acceptor probe(io, tcp::endpoint(asio::ip::address_v4::loopback(), 0));
  return probe.local_endpoint().port();
}

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
  std::uint16_t natsPort = FreeLoopbackPort();
  os::ChildProcess::Options options;
  options.arguments = {"-a", "127.0.0.1", "-p", std::to_string(natsPort)};
  os::ChildProcess nats = os::ChildProcess::Start(kNatsServer, options);
  for (int i = 0; i < 200 && !Listening(natsPort); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  std::string url = "nats://127.0.0.1:" + std::to_string(natsPort);

  std::uint16_t tcpPort = FreeLoopbackPort();
  os::UnsetEnv("KQM_NATS_URL");
  RunningServer overTcp(tcpPort);
  os::SetEnv("KQM_NATS_URL", url);
  RunningServer overNats(0);
  os::UnsetEnv("KQM_NATS_URL");

  auto tcpClient = [tcpPort] {
    auto client = std::make_unique<KQM_TClient>();
    client->SetConnectionAddress("localhost", "BenchService", tcpPort, KQM_TClient::kConnectNow);
    return client;
  };
  // The client reads KQM_NATS_URL when it is aimed: every thread reads the same value.
  auto natsClient = [] {
    auto client = std::make_unique<KQM_TClient>();
    client->SetConnectionAddress("", "BenchService", 0, KQM_TClient::kConnectNow);
    return client;
  };

  std::printf("nats-server at %s, %.1f s per case\n", url.c_str(), seconds);
  std::printf("%-6s %-5s %10s %12s\n", "conns", "path", "p50 us", "req/s");
  Result tcp1 = Measure(1, seconds, tcpClient);
  Result tcp4 = Measure(4, seconds, tcpClient);
  os::SetEnv("KQM_NATS_URL", url);
  Result nats1 = Measure(1, seconds, natsClient);
  Result nats4 = Measure(4, seconds, natsClient);
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
