// Load driver: the round trip of a small request through KQM_TClient -> KQM_TServer (the
// processor answers at once) against a raw Asio TCP ping-pong of the same byte count, with
// 1 and 4 connections, in one run. Prints p50, p99, requests per second and the ratios.
//
//   build/linux/bench/kqm_round_trip_bench [seconds per case, default 3]
#include <utility>  // Boost 1.74 Asio uses std::exchange without including it

#include <atomic>
#include <boost/asio.hpp>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "bench/call_timing.h"
#include "platform/kqmware/kqmware.h"
#include "platform/kqmware/program_options.h"
#include "platform/kqmware/wire.h"
#include "platform/kqtypes/kqtypes.h"
#include "tests/support/test_support.h"

namespace asio = boost::asio;
using asio::ip::tcp;

namespace {

void Answer(KQM_TServer&, const KQ_TDict& request, KQ_TAny& answer, void*) {
  answer = request["P1"];
}

// Echoes fixed-size messages, one thread per connection.
class RawEchoServer {
 public:
  explicit RawEchoServer(std::size_t bytes)
      : acceptor_(io_, tcp::endpoint(asio::ip::address_v4::loopback(), 0)), bytes_(bytes) {
    thread_ = std::thread([this] {
      for (;;) {
        tcp::socket socket(io_);
        boost::system::error_code error;
        acceptor_.accept(socket, error);
        if (error || stopping_)
          return;
        socket.set_option(tcp::no_delay(true));
        workers_.emplace_back([this, s = std::move(socket)]() mutable {
          std::vector<char> buffer(bytes_);
          boost::system::error_code e;
          while (asio::read(s, asio::buffer(buffer), e) == bytes_ && !e)
            asio::write(s, asio::buffer(buffer), e);
        });
      }
    });
  }
  ~RawEchoServer() {
    stopping_ = true;
    tcp::socket poke(io_);
    poke.connect(acceptor_.local_endpoint());
    thread_.join();
    for (auto& worker : workers_)
      worker.join();
  }
  std::uint16_t Port() const { return acceptor_.local_endpoint().port(); }

 private:
  asio::io_context io_;
  tcp::acceptor acceptor_;
  std::size_t bytes_;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
  std::vector<std::thread> workers_;
};

}  // namespace

int main(int argc, char** argv) {
  double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
  kqm::UseProgramOptions(kqm::ProgramOptions::FromEnvironment());
  __KQ_INITIALIZATION_FUNCTION_KQMWare__();
  KQ_TDict request = bench::SmallRequest("Echo");
  std::size_t frameBytes = kqm::EncodeFrame(kqm::MessageKind::kRequest, 1, KQ_TAny(request)).size();

  KQM_TServer server;
  server.Bind("BenchService", vtps_test::FreePort(), 0, false);
  server.SetProcessor(&Answer, nullptr);
  std::thread loop([&] { server.EventLoop(-1); });
  RawEchoServer raw(frameBytes);

  std::printf("request frame: %zu bytes, %.1f s per case\n", frameBytes, seconds);
  std::printf("%-6s %-5s %10s %10s %12s\n", "conns", "path", "p50 us", "p99 us", "req/s");
  for (int connections : {1, 4}) {
    bench::CallTiming kqm = bench::TimeConcurrentCalls(connections, seconds, [&] {
      auto client = std::make_shared<KQM_TClient>();
      client->SetConnectionAddress("localhost", "BenchService", server.BoundPort(),
                                   KQM_TClient::kConnectNow);
      return [client, &request] { client->Request(request); };
    });
    bench::CallTiming bare = bench::TimeConcurrentCalls(connections, seconds, [&] {
      auto io = std::make_shared<asio::io_context>();
      auto socket = std::make_shared<tcp::socket>(*io);
      socket->connect(tcp::endpoint(asio::ip::address_v4::loopback(), raw.Port()));
      socket->set_option(tcp::no_delay(true));
      auto buffer = std::make_shared<std::vector<char>>(frameBytes, 'x');
      return [io, socket, buffer] {
        asio::write(*socket, asio::buffer(*buffer));
        asio::read(*socket, asio::buffer(*buffer));
      };
    });
    std::printf("%-6d %-5s %10.1f %10.1f %12.0f\n", connections, "kqm", kqm.p50Us, kqm.p99Us,
                kqm.perSecond);
    std::printf("%-6d %-5s %10.1f %10.1f %12.0f\n", connections, "raw", bare.p50Us, bare.p99Us,
                bare.perSecond);
    std::printf("%-6d ratio p50 %.2f, p99 %.2f, throughput %.2f\n", connections,
                kqm.p50Us / bare.p50Us, kqm.p99Us / bare.p99Us, bare.perSecond / kqm.perSecond);
  }
  server.Shutdown();
  loop.join();
  server.Close();
  return 0;
}
