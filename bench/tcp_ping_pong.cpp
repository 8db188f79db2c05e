// tcp_ping_pong: the floor a request middleware is measured against. An echo server on
// loopback (one thread per connection) and N client threads, each sending BYTES and reading
// them back as fast as it can for SECONDS, over TCP with Nagle off, as KQM_TClient does.
// Prints the same summary line as the load driver.
//
//   build/linux/bench/tcp_ping_pong BYTES CONNECTIONS SECONDS
#include <utility>  // Boost 1.74 Asio uses std::exchange without including it

#include <atomic>
#include <boost/asio.hpp>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench/load_statistics.h"

namespace asio = boost::asio;
using asio::ip::tcp;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: tcp_ping_pong BYTES CONNECTIONS SECONDS\n");
    return 2;
  }
  const std::size_t bytes = std::strtoul(argv[1], nullptr, 10);
  const int connections = std::atoi(argv[2]);
  const double seconds = std::atof(argv[3]);
  if (bytes == 0 || connections < 1 || !(seconds > 0)) {
    std::fprintf(stderr,
                 "tcp_ping_pong: BYTES and CONNECTIONS must be positive, SECONDS above 0\n");
    return 2;
  }

  asio::io_context io;
  tcp::acceptor acceptor(io, tcp::endpoint(asio::ip::address_v4::loopback(), 0));
  std::vector<std::thread> echoes;
  std::thread accepting([&] {
    for (int i = 0; i < connections; ++i) {
      tcp::socket socket(io);
      acceptor.accept(socket);
      socket.set_option(tcp::no_delay(true));
      echoes.emplace_back([&bytes, s = std::move(socket)]() mutable {
        std::vector<char> buffer(bytes);
        boost::system::error_code error;
        while (asio::read(s, asio::buffer(buffer), error) == bytes && !error)
          asio::write(s, asio::buffer(buffer), error);
      });
    }
  });

  std::vector<load::Tally> tallies(static_cast<std::size_t>(connections));
  std::vector<std::thread> clients;
  const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double>(seconds));
  const auto start = Clock::now();
  for (int i = 0; i < connections; ++i) {
    clients.emplace_back([&, i] {
      asio::io_context own;
      tcp::socket socket(own);
      socket.connect(acceptor.local_endpoint());
      socket.set_option(tcp::no_delay(true));
      std::vector<char> buffer(bytes, 'x');
      load::Tally& tally = tallies[static_cast<std::size_t>(i)];
      while (Clock::now() < end) {
        auto sent = Clock::now();
        asio::write(socket, asio::buffer(buffer));
        asio::read(socket, asio::buffer(buffer));
        tally.latenciesUs.push_back(
            std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
        ++tally.right;
      }
    });
  }
  for (std::thread& client : clients)
    client.join();
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  accepting.join();
  for (std::thread& echo : echoes)
    echo.join();  // each ends when its client's socket closed

  load::Tally all;
  for (load::Tally& tally : tallies)
    all.Merge(std::move(tally));
  std::printf("tcp_ping_pong: %zu bytes, %d connection(s), %.2f s\n", bytes, connections, elapsed);
  std::printf("%s\n", load::SummaryLine(load::Summarize(all, elapsed)).c_str());
  return 0;
}
