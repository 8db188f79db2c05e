// connection_flood [IDLE [NOFILE [IDLE_TIMEOUT_MS]]]: opens IDLE (default 400) connections
// that send nothing to a kqm-test-server started under a descriptor limit of NOFILE (default
// 256, soft and hard, through prlimit) with KQM_IDLE_TIMEOUT_MS (default 3000), and reports:
//   - how many the server accepted and how many it refused with KQM_EBusy, and how long a
//     refused one waited for its notice, against an unloaded round trip on a new connection;
//   - how long a new client then waits until it is served, against the idle timeout;
//   - the lines the debug log got (level 4) and how many of them are refusals.
// Linux only. It stops the server it starts and removes its files.
#include <utility>  // Boost 1.74 Asio uses std::exchange without including it

#include <algorithm>
#include <boost/asio.hpp>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/kqmware/kqm_ebusy.h"
#include "platform/kqmware/kqmware.h"
#include "platform/kqmware/program_options.h"
#include "platform/kqtypes/kqtypes.h"
#include "platform/os/child_process.h"
#include "platform/os/os.h"
#include "tests/support/test_support.h"

namespace {

namespace asio = boost::asio;
using asio::ip::tcp;
using Clock = std::chrono::steady_clock;

double Ms(Clock::duration duration) {
  return std::chrono::duration<double, std::milli>(duration).count();
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

double Median(std::vector<double> values) {
  if (values.empty())
    return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Whether an "Echo" on a new connection is answered; false when it is refused as busy.
bool Served(std::uint16_t port) {
  KQM_TClient client;
  client.SetConnectionAddress("localhost", "TestService", port, KQM_TClient::kConnectOnRequest);
  try {
    client.Call("Echo", KQ_TString("x"));
    return true;
  } catch (const KQM_EBusy&) {
    return false;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t idle = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 400;
  const std::string nofile = argc > 2 ? argv[2] : "256";
  const std::string idleTimeoutMs = argc > 3 ? argv[3] : "3000";
  kqm::UseProgramOptions(kqm::ProgramOptions::FromEnvironment());
  __KQ_INITIALIZATION_FUNCTION_KQMWare__();
  os::RaiseDescriptorLimit();

  vtps_test::TempDir dir;
  std::string log = dir.File("debug.log");
  std::uint16_t port = vtps_test::FreePort();
  os::ChildProcess::Options options;
  options.arguments = {"--nofile=" + nofile + ":" + nofile, "--",
                       vtps_test::BuildProgram("tests/kqm-test-server"), std::to_string(port)};
  options.environment = {
      {"KQM_DEBUG_LOG", log}, {"KQM_DEBUG_LEVEL", "4"}, {"KQM_IDLE_TIMEOUT_MS", idleTimeoutMs}};
  options.stderrPath = dir.File("stderr");
  os::ChildProcess server = os::ChildProcess::Start("/usr/bin/prlimit", options);
  if (!vtps_test::WaitUntil([&] {
        try {
          return Served(port);
        } catch (const KQ_EException&) {
          return false;
        }
      })) {
    std::fprintf(stderr, "connection_flood: the server did not start: %s\n",
                 vtps_test::ReadFile(dir.File("stderr")).c_str());
    return 1;
  }

  // The reference: a request on a new connection to the unloaded server.
  std::vector<double> unloaded;
  for (int i = 0; i < 50; ++i) {
    auto start = Clock::now();
    Served(port);
    unloaded.push_back(Ms(Clock::now() - start));
  }

  // The flood: every connection reads until the server closes it.
  asio::io_context io;
  std::vector<std::unique_ptr<tcp::socket>> sockets;
  std::vector<std::string> received(idle);
  char sink[4096];
  std::function<void(std::size_t)> read = [&](std::size_t i) {
    sockets[i]->async_read_some(asio::buffer(sink),
                                [&, i](boost::system::error_code error, std::size_t count) {
                                  received[i].append(sink, count);
                                  if (!error)
                                    read(i);
                                });
  };
  std::string before = vtps_test::ReadFile(log);
  std::size_t logLinesBefore = Count(before, "\n");
  std::size_t openedBefore = Count(before, ") opened\n");
  auto floodStart = Clock::now();
  for (std::size_t i = 0; i < idle; ++i) {
    sockets.push_back(std::make_unique<tcp::socket>(io));
    sockets.back()->connect({asio::ip::address_v4::loopback(), port});
    read(i);
  }
  auto refused = [&] {
    return static_cast<std::size_t>(std::count_if(
        received.begin(), received.end(),
        [](auto& bytes) { return bytes.find("too many connections") != std::string::npos; }));
  };
  // Settled once every connection is either refused or logged as opened.
  auto accepted = [&] { return Count(vtps_test::ReadFile(log), ") opened\n") - openedBefore; };
  vtps_test::WaitUntil(
      [&] {
        io.run_for(std::chrono::milliseconds(20));
        return refused() + accepted() >= idle;
      },
      std::chrono::seconds(60));
  double settledMs = Ms(Clock::now() - floodStart);
  std::size_t refusedCount = refused();
  std::size_t acceptedCount = accepted();

  // A new client, asking every 20 ms until it is served.
  auto asked = Clock::now();
  std::vector<double> busyTimes;
  bool served = false;
  while (!served && Clock::now() - asked < std::chrono::seconds(60)) {
    io.run_for(std::chrono::milliseconds(20));
    auto start = Clock::now();
    served = Served(port);
    if (!served)
      busyTimes.push_back(Ms(Clock::now() - start));
  }
  double servedAfterMs = Ms(Clock::now() - asked);
  std::string text = vtps_test::ReadFile(log);
  std::size_t logLines = Count(text, "\n") - logLinesBefore;
  double floodSeconds = Ms(Clock::now() - floodStart) / 1000;

  std::printf("descriptor limit %s, %zu idle connections, KQM_IDLE_TIMEOUT_MS %s\n", nofile.c_str(),
              idle, idleTimeoutMs.c_str());
  std::printf("accepted %zu, refused with KQM_EBusy %zu, left waiting %zu (settled in %.0f ms)\n",
              acceptedCount, refusedCount, idle - std::min(idle, acceptedCount + refusedCount),
              settledMs);
  double unloadedMs = Median(unloaded);
  double busyMs = Median(busyTimes);
  std::printf(
      "request on a new connection: unloaded median %.3f ms; refused with KQM_EBusy while "
      "full median %.3f ms (%.2f of unloaded), max %.3f ms\n",
      unloadedMs, busyMs, unloadedMs > 0 ? busyMs / unloadedMs : 0,
      busyTimes.empty() ? 0 : *std::max_element(busyTimes.begin(), busyTimes.end()));
  std::printf(
      "new client served: %s after %.0f ms (%.2f of KQM_IDLE_TIMEOUT_MS), %zu busy "
      "answers before\n",
      served ? "yes" : "NO", servedAfterMs, servedAfterMs / std::stod(idleTimeoutMs),
      busyTimes.size());
  std::printf(
      "debug log (level 4) from the flood on: %zu lines in %.1f s, %zu of them refusal "
      "lines, %zu accept failures\n",
      logLines, floodSeconds, Count(text, " refused a connection from "),
      Count(text, "cannot accept"));
  sockets.clear();
  server.Terminate();
  server.WaitFor(std::chrono::seconds(30));
  return served ? 0 : 1;
}
