// load: a load driver for a running service. N connections (one KQM_TClient per thread) send
// requests for a number of requests or seconds; every answer is checked against what was
// sent, and the run ends with throughput, p50, p99 and the counts of right, wrong and failed
// answers. Exits 1 when any answer was wrong or failed, 2 for a usage error.
//
//   build/linux/bench/load --connections 8 --requests 100000
//   build/linux/bench/load --method Echo --p1 '{"file": "a.pdf"}' --connections 4 --seconds 10
//
// The service's port comes from the services file named by KQM_SERVICES (see kqm-call).
#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "bench/load_options.h"
#include "bench/load_request.h"
#include "bench/load_statistics.h"
#include "platform/kqmware/kqmware.h"
#include "platform/kqmware/program_options.h"
#include "platform/kqmware/wire.h"
#include "platform/kqtypes/kqtypes.h"
#include "platform/os/os.h"
#include "tools/kqm-call/json_values.h"

namespace {

using Clock = std::chrono::steady_clock;

// The requests left to hand out, or the time to stop.
class Budget {
 public:
  Budget(long long requests, Clock::time_point end) : left_(requests), end_(end) {}
  // Whether one more request may be sent.
  bool Take() {
    if (left_.load(std::memory_order_relaxed) < 0)
      return Clock::now() < end_;
    return left_.fetch_sub(1, std::memory_order_relaxed) > 0;
  }

 private:
  std::atomic<long long> left_;  // negative: bounded by time instead
  Clock::time_point end_;
};

load::Tally RunConnection(const load::LoadOptions& options, const KQ_TAny& parameters,
                          int connection, Budget& budget) {
  load::Tally tally;
  KQM_TClient client;
  try {
    client.SetConnectionAddress(options.host, options.service, options.port,
                                KQM_TClient::kConnectOnRequest);
  } catch (const KQ_EException& error) {
    tally.failed = 1;
    tally.firstProblem = error.KQ_Message().Text();
    return tally;
  }
  for (long long index = 0; budget.Take(); ++index) {
    KQ_TDict request =
        load::MakeRequest(options.method, parameters, options.expect, connection, index);
    auto start = Clock::now();
    try {
      KQ_TAny answer = client.Request(request);
      tally.latenciesUs.push_back(
          std::chrono::duration<double, std::micro>(Clock::now() - start).count());
      std::string problem = load::CheckAnswer(options.expect, request, answer);
      if (problem.empty()) {
        ++tally.right;
      } else {
        ++tally.wrong;
        if (tally.firstProblem.empty())
          tally.firstProblem = "wrong answer: " + problem;
      }
    } catch (const KQ_EException& error) {
      ++tally.failed;
      if (tally.firstProblem.empty())
        tally.firstProblem =
            std::string("failed: ") + error.ClassName() + ": " + error.KQ_Message().Text();
    } catch (const std::exception& error) {
      ++tally.failed;
      if (tally.firstProblem.empty())
        tally.firstProblem = std::string("failed: ") + error.what();
    }
  }
  return tally;
}

}  // namespace

int main(int argc, char** argv) {
  load::LoadOptions options;
  KQ_TAny parameters;
  try {
    options = load::ParseLoadOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (options.help) {
      std::cout << load::LoadUsage();
      return 0;
    }
    if (!options.parametersJson.empty())
      parameters = ValueFromJson(nlohmann::ordered_json::parse(options.parametersJson));
    // Checks that P1 suits --expect before any thread starts.
    load::MakeRequest(options.method, parameters, options.expect, 0, 0);
  } catch (const std::exception& error) {
    std::cerr << "load: " << error.what() << "\n" << load::LoadUsage();
    return 2;
  }
  // A limit below a millisecond is still a limit, not 0 (none).
  long long timeoutMs = static_cast<long long>(options.timeoutSeconds * 1000 + 0.5);
  if (options.timeoutSeconds > 0 && timeoutMs == 0)
    timeoutMs = 1;
  try {
    // The environment's settings, with the request timeout --timeout gives.
    kqm::ProgramOptions program;
    program.debugLog = kqm::DebugLogFile();
    program.client = kqm::ClientOptions::FromEnvironment();
    program.client.requestTimeoutMs = static_cast<int>(timeoutMs);
    kqm::UseProgramOptions(program);
  } catch (const KQ_EException& error) {
    std::cerr << "load: " << error.KQ_Message().Text() << "\n";
    return 2;
  }
  __KQ_INITIALIZATION_FUNCTION_KQMWare__();

  auto start = Clock::now();
  Budget budget(options.requests > 0 ? options.requests : -1,
                start + std::chrono::duration_cast<Clock::duration>(
                            std::chrono::duration<double>(options.seconds)));
  std::vector<load::Tally> tallies(static_cast<std::size_t>(options.connections));
  std::vector<std::thread> threads;
  for (int connection = 0; connection < options.connections; ++connection) {
    threads.emplace_back([&, connection] {
      tallies[static_cast<std::size_t>(connection)] =
          RunConnection(options, parameters, connection, budget);
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();

  load::Tally all;
  for (load::Tally& tally : tallies)
    all.Merge(std::move(tally));
  load::Summary summary = load::Summarize(all, seconds);
  std::size_t frameBytes =
      kqm::EncodeFrame(kqm::MessageKind::kRequest, 1,
                       load::MakeRequest(options.method, parameters, options.expect, 0, 0))
          .size();
  std::printf("load: %s %s on %s, %d connection(s), %.2f s, request frame %zu bytes\n",
              options.service.c_str(), options.method.c_str(), options.host.c_str(),
              options.connections, seconds, frameBytes);
  std::printf("%s\n", load::SummaryLine(summary).c_str());
  if (!all.firstProblem.empty())
    std::printf("first problem: %s\n", all.firstProblem.c_str());
  return load::ExitCode(summary);
}
