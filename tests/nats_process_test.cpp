// The middleware over NATS across processes: each test starts its own nats-server (one, or
// a three-node cluster) on free ports, instances of kqm-test-server bound over it, and is
// the client itself.
#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>

#include "platform/kqmware/kqmware.h"
#include "platform/kqtypes/kqtypes.h"
#include "platform/kqtypes/test_exceptions.h"
#include "platform/os/child_process.h"
#include "platform/os/os.h"
#include "tests/nats_node.h"
#include "tests/nats_process_fixture.h"
#include "tests/support/program_runner.h"
#include "tests/support/test_support.h"

namespace {

using vtps_test::NatsNode;
using vtps_test::NatsProcess;

TEST_F(NatsProcess, TwoInstancesShareTheRequestsOfFourClients) {
  NatsNode nats(dir_, "nats");
  UseNats(nats.Url());
  StartInstance(nats.Url());
  StartInstance(nats.Url());
  ASSERT_TRUE(WaitForInstances(2));

  std::vector<std::future<int>> clients;
  for (int c = 0; c < 4; ++c) {
    clients.push_back(std::async(std::launch::async, [c, options = client_] {
      KQM_TClient client(options);
      client.SetConnectionAddress("", "TestService", 0, KQM_TClient::kConnectOnRequest);
      int right = 0;
      for (int i = 0; i < 50; ++i) {
        KQ_TString text = "client " + std::to_string(c) + " request " + std::to_string(i);
        right += client.Call("Echo", text) == KQ_TAny(text) ? 1 : 0;
      }
      return right;
    }));
  }
  for (auto& client : clients)
    EXPECT_EQ(client.get(), 50);

  std::map<std::int64_t, KQ_TDict> statuses = Statuses();
  ASSERT_EQ(statuses.size(), 2u);
  std::int64_t answered = 0;
  for (const auto& [pid, status] : statuses) {
    EXPECT_GT(Number(status, "answered"), 0) << "instance " << pid << " served nothing";
    answered += Number(status, "answered");
  }
  EXPECT_GE(answered, 200);
}

TEST_F(NatsProcess, WithoutAnInstanceTheClientHearsAtOnceThatNoServerServes) {
  NatsNode nats(dir_, "nats");
  UseNats(nats.Url());
  ASSERT_TRUE(vtps_test::WaitUntil([&] {
    try {
      Call("Echo", "x");
    } catch (const KQ_EException& error) {
      return error.KQ_Message().Text().find("cannot reach NATS") == std::string::npos;
    }
    return false;
  }));
  auto started = std::chrono::steady_clock::now();
  try {
    Call("Echo", "x");
    ADD_FAILURE() << "answered without a server";
  } catch (const KQ_EException& error) {
    EXPECT_NE(error.KQ_Message().Text().find("no server serves the service TestService"),
              std::string::npos)
        << error.KQ_Message().Text();
  }
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(500));
}

TEST_F(NatsProcess, NamesThatAreNoSubjectTokenAndOversizedRequestsAreRefused) {
  NatsNode nats(dir_, "nats");
  UseNats(nats.Url());
  StartInstance(nats.Url());
  ASSERT_TRUE(WaitForInstances(1));

  KQM_TClient client(client_);
  EXPECT_THROW(client.SetConnectionAddress("", "Test.Service", 0, KQM_TClient::kConnectOnRequest),
               KQ_EException);
  client.SetConnectionAddress("", "TestService", 0, KQM_TClient::kConnectOnRequest);
  try {
    client.Call("Echo", KQ_TString(std::string(2 * 1024 * 1024, 'x')));
    ADD_FAILURE() << "a request over the NATS server's maximum payload was sent";
  } catch (const KQ_EException& error) {
    // nats-server's default maximum payload is 1 MiB.
    EXPECT_NE(error.KQ_Message().Text().find("maximum payload of 1048576 bytes"), std::string::npos)
        << error.KQ_Message().Text();
  }
  EXPECT_TRUE(client.Call("Echo", "still") == KQ_TAny("still"));
}

TEST_F(NatsProcess, FullInstancesGiveTheBusyError) {
  NatsNode nats(dir_, "nats");
  UseNats(nats.Url());
  StartInstance(nats.Url(), {{"KQM_WORKERS", "1"}, {"KQM_QUEUE", "0"}});
  ASSERT_TRUE(WaitForInstances(1));

  std::string release = dir_.File("release");
  auto running = std::async(std::launch::async, [&] {
    return Call("Run", KQ_TString("i=0; while [ ! -e " + release +
                                  " ] && [ $i -lt 400 ]; do sleep 0.05; i=$((i+1)); done"));
  });
  ASSERT_TRUE(
      vtps_test::WaitUntil([&] { return Number(Statuses().begin()->second, "running") == 1; }));
  EXPECT_THROW(Call("Echo", "one more"), KQM_EBusy);
  vtps_test::WriteFile(release, "");
  EXPECT_TRUE(running.get() == KQ_TAny(KQ_TInt(0)));
  // A slot is free again: the instance has joined the queue group again.
  EXPECT_TRUE(vtps_test::WaitUntil([&] {
    try {
      return Call("Echo", "again") == KQ_TAny("again");
    } catch (const KQ_EException&) {
      return false;
    }
  }));
}

// What the NATS JavaScript client's services client hears from the instances of TestService
// at `url` (tests/nats-services/list-services.mjs), or a failure saying why there is nothing.
::testing::AssertionResult AskServicesApi(const vtps_test::TempDir& dir, const std::string& url,
                                          nlohmann::json& replies) {
  std::string script = std::string(VTPS_SOURCE_DIR) + "/tests/nats-services/list-services.mjs";
  if (!std::filesystem::exists(std::string(VTPS_SOURCE_DIR) +
                               "/tests/nats-services/node_modules/nats")) {
    return ::testing::AssertionFailure()
           << "the NATS JavaScript client is not installed: run scripts/install-deps";
  }
  os::ChildProcess::Options options;
  options.arguments = {script, url, "TestService"};
  options.stdoutPath = dir.File("services.out");
  options.stderrPath = dir.File("services.err");
  os::ChildProcess node = os::ChildProcess::Start(NODE_PROGRAM, options);
  std::optional<int> exit = node.WaitFor(std::chrono::seconds(60));
  if (!exit)
    node.Kill();
  std::string out = vtps_test::ReadFile(dir.File("services.out"));
  if (exit != 0) {
    return ::testing::AssertionFailure() << "node ended with " << (exit ? *exit : -1) << ": "
                                         << vtps_test::ReadFile(dir.File("services.err"));
  }
  replies = nlohmann::json::parse(out, nullptr, false);
  if (replies.is_discarded())
    return ::testing::AssertionFailure() << "not JSON: " << out;
  return ::testing::AssertionSuccess();
}

TEST_F(NatsProcess, StandardToolsListPingAndReadTheStatsOfEveryInstance) {
  NatsNode nats(dir_, "nats");
  UseNats(nats.Url());
  std::set<std::int64_t> pids;
  pids.insert(StartInstance(nats.Url()).Id());
  pids.insert(StartInstance(nats.Url(), {{"KQM_WORKERS", "2"}}).Id());
  ASSERT_TRUE(WaitForInstances(2));
  for (int i = 0; i < 20; ++i)
    EXPECT_TRUE(Call("Echo", i) == KQ_TAny(KQ_TInt(i)));
  for (int i = 0; i < 4; ++i)
    EXPECT_THROW(Call("Fail", KQ_TString("failure " + std::to_string(i))), Test_EFailure);

  nlohmann::json replies;
  ASSERT_TRUE(AskServicesApi(dir_, nats.Url(), replies));
  std::set<std::string> ids;
  for (const auto& ping : replies["ping"]) {
    EXPECT_EQ(ping["type"], "io.nats.micro.v1.ping_response");
    EXPECT_EQ(ping["name"], "TestService");
    EXPECT_EQ(ping["version"], "1.0.0");
    EXPECT_EQ(pids.count(std::stoll(ping["metadata"]["pid"].get<std::string>())), 1u) << ping;
    ids.insert(ping["id"].get<std::string>());
  }
  EXPECT_EQ(ids.size(), 2u) << replies["ping"];
  EXPECT_GE(replies["pingAll"].size(), 2u);
  ASSERT_EQ(replies["pingOne"].size(), 1u) << "a ping to one id is answered by that one alone";
  EXPECT_EQ(replies["pingOne"][0]["id"], replies["ping"][0]["id"]);

  ASSERT_EQ(replies["info"].size(), 2u);
  for (const auto& info : replies["info"]) {
    EXPECT_EQ(info["type"], "io.nats.micro.v1.info_response");
    ASSERT_EQ(info["endpoints"].size(), 1u) << info;
    EXPECT_EQ(info["endpoints"][0]["subject"], "kqm.TestService");
    EXPECT_EQ(info["endpoints"][0]["queue_group"], "TestService");
  }

  ASSERT_EQ(replies["stats"].size(), 2u);
  std::int64_t requests = 0;
  std::int64_t errors = 0;
  for (const auto& stats : replies["stats"]) {
    EXPECT_EQ(stats["type"], "io.nats.micro.v1.stats_response");
    EXPECT_TRUE(stats["started"].is_string() && !stats["started"].get<std::string>().empty());
    const auto& endpoint = stats["endpoints"][0];
    ASSERT_TRUE(endpoint["processing_time"].is_number_integer()) << endpoint;
    ASSERT_TRUE(endpoint["average_processing_time"].is_number_integer()) << endpoint;
    requests += endpoint["num_requests"].get<std::int64_t>();
    errors += endpoint["num_errors"].get<std::int64_t>();
    if (endpoint["num_errors"].get<std::int64_t>() > 0) {
      EXPECT_EQ(endpoint["last_error"].get<std::string>().rfind("failure ", 0), 0u) << endpoint;
    }
  }
  // WaitForInstances called Echo too.
  EXPECT_GE(requests, 24);
  EXPECT_EQ(errors, 4);
}

// Bursts well above what two small instances hold (one running and one waiting each): every
// request is answered or refused as busy, none is lost or left to time out, also while an
// instance leaves its queue group and joins it again.
TEST_F(NatsProcess, BurstsAboveTheCapacityAreAnsweredOrRefusedNeverLost) {
  NatsNode nats(dir_, "nats");
  UseNats(nats.Url());
  client_.requestTimeoutMs = 20000;
  StartInstance(nats.Url(), {{"KQM_WORKERS", "1"}, {"KQM_QUEUE", "1"}});
  StartInstance(nats.Url(), {{"KQM_WORKERS", "1"}, {"KQM_QUEUE", "1"}});
  ASSERT_TRUE(WaitForInstances(2));
  constexpr int kBursts = 3;
  constexpr int kBurst = 12;
  int answered = 0;
  int busy = 0;
  for (int burst = 0; burst < kBursts; ++burst) {
    std::vector<std::future<int>> sent;
    for (int i = 0; i < kBurst; ++i) {
      sent.push_back(std::async(std::launch::async, [this] {
        try {
          return Call("Sleep", KQ_TInt(100)) == KQ_TAny(true) ? 1 : 0;
        } catch (const KQM_EBusy&) {
          return 2;
        } catch (const KQ_EException& error) {
          ADD_FAILURE() << "neither answered nor busy: " << error.KQ_Message().Text();
          return 0;
        }
      }));
    }
    for (auto& outcome : sent) {
      int result = outcome.get();
      answered += result == 1 ? 1 : 0;
      busy += result == 2 ? 1 : 0;
    }
  }
  EXPECT_EQ(answered + busy, kBursts * kBurst);
  EXPECT_GE(answered, kBursts * 2) << "the running requests of both instances are answered";
  EXPECT_GT(busy, 0) << "the bursts did not go beyond the capacity";
}

TEST_F(NatsProcess, AKilledInstanceLosesOnlyItsRequestsInFlight) {
  NatsNode nats(dir_, "nats");
  UseNats(nats.Url());
  client_.requestTimeoutMs = 3000;
  os::ChildProcess& doomed = StartInstance(nats.Url());
  StartInstance(nats.Url());
  ASSERT_TRUE(WaitForInstances(2));

  // Requests that wait for the release file, so that the ones on the instance killed are
  // surely in flight when it dies; the file is written just after the kill.
  std::string release = dir_.File("release");
  std::string waitForRelease = "i=0; while [ ! -e " + release +
                               " ] && [ $i -lt 400 ]; do sleep 0.05; i=$((i+1)); done; [ -e " +
                               release + " ]";
  std::vector<std::future<std::pair<int, int>>> clients;
  for (int c = 0; c < 4; ++c) {
    clients.push_back(std::async(std::launch::async, [&] {
      std::pair<int, int> answeredAndLost{0, 0};
      for (int i = 0; i < 10; ++i) {
        auto sent = std::chrono::steady_clock::now();
        try {
          EXPECT_TRUE(Call("Run", KQ_TString(waitForRelease)) == KQ_TAny(KQ_TInt(0)));
          ++answeredAndLost.first;
        } catch (const KQ_EException& error) {
          ++answeredAndLost.second;
          EXPECT_NE(error.KQ_Message().Text().find("no answer within 3000 ms"), std::string::npos)
              << error.KQ_Message().Text();
          EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(5));
        }
      }
      return answeredAndLost;
    }));
  }
  ASSERT_TRUE(vtps_test::WaitUntil([&] {
    std::map<std::int64_t, KQ_TDict> statuses = Statuses();
    auto it = statuses.find(doomed.Id());
    return it != statuses.end() && Number(it->second, "running") > 0;
  }));
  doomed.Kill();
  vtps_test::WriteFile(release, "");
  int lost = 0;
  for (auto& client : clients) {
    auto [answered, clientLost] = client.get();
    lost += clientLost;
    EXPECT_GT(answered, 0);
  }
  EXPECT_GT(lost, 0);
  // Every later request is answered by the other instance.
  for (int i = 0; i < 10; ++i)
    EXPECT_TRUE(Call("Echo", i) == KQ_TAny(KQ_TInt(i)));
}

TEST_F(NatsProcess, AThreeNodeClusterCarriesRequestsBetweenNodes) {
  std::uint16_t routes[3] = {vtps_test::FreePort(), vtps_test::FreePort(), vtps_test::FreePort()};
  std::string all;
  for (std::uint16_t port : routes)
    all += (all.empty() ? "" : ",") + std::string("nats://127.0.0.1:") + std::to_string(port);
  NatsNode a(dir_, "a", routes[0], all);
  NatsNode b(dir_, "b", routes[1], all);
  NatsNode c(dir_, "c", routes[2], all);
  StartInstance(a.Url());
  StartInstance(b.Url());
  UseNats(c.Url());
  // Interest travels between the nodes: wait until both instances are seen from node c.
  ASSERT_TRUE(WaitForInstances(2));
  std::set<std::int64_t> served;
  for (int i = 0; i < 40; ++i)
    EXPECT_TRUE(Call("Echo", i) == KQ_TAny(KQ_TInt(i)));
  for (const auto& [pid, status] : Statuses())
    EXPECT_GT(Number(status, "answered"), 0) << "instance " << pid << " served nothing";
}

TEST_F(NatsProcess, ServiceResumesAfterNatsRestarts) {
  NatsNode nats(dir_, "nats");
  UseNats(nats.Url());
  os::ChildProcess& instance = StartInstance(nats.Url());
  ASSERT_TRUE(WaitForInstances(1));

  nats.Stop();
  // In the gap a request fails at once with the reason, nothing hangs.
  auto started = std::chrono::steady_clock::now();
  EXPECT_THROW(Call("Echo", "gap"), KQ_EException);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(6));

  nats.Start();
  EXPECT_TRUE(WaitForInstances(1));
  EXPECT_FALSE(instance.WaitFor(std::chrono::milliseconds(0)).has_value());
  std::string log = vtps_test::ReadFile(dir_.File("instance0.log"));
  EXPECT_NE(log.find("reconnected to NATS"), std::string::npos) << log;
}

TEST_F(NatsProcess, TheConfiguredServerRunsOverNatsWithItsConfigurationService) {
  NatsNode nats(dir_, "nats");
  std::string jobs = dir_.File("jobs");
  std::filesystem::create_directory(jobs);
  vtps_test::WriteFile(dir_.File("ntr.xml"),
                       "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                       "<configuration><Servers><VantricProcessServer><Configuration>\n"
                       "<ProgPathEnvVar>VTPS_TEST_HOME</ProgPathEnvVar>\n"
                       "<ProgramDirectory>test/</ProgramDirectory>\n"
                       "<WorkingDirectory type=\"url\">" +
                           vtps_test::FileUrl(jobs) +
                           "</WorkingDirectory>\n"
                           "<FixedAnswer>fixed-answer.sh</FixedAnswer>\n"
                           "</Configuration></VantricProcessServer></Servers></configuration>\n");
  vtps_test::ProgramRunner run(dir_);
  // No services file: over NATS nothing needs a port.
  run.environment = {{"KQM_NATS_URL", nats.Url()},
                     {"KQM_DEBUG_LOG", dir_.File("debug.log")},
                     {"KQM_DEBUG_LEVEL", "1"},
                     {"VTPS_TEST_HOME", std::string(VTPS_SOURCE_DIR) + "/processors"}};
  os::ChildProcess ntr = run.Start("tools/ntr-server/ntr-server", {dir_.File("ntr.xml")}, "ntr");
  ASSERT_TRUE(vtps_test::WaitUntil([&] {
    return run.Call({"NTR", "KeysAt", "\"\""}).exitCode == 0;
  })) << run.Err("ntr");
  os::ChildProcess first = run.Start("server/VantricProcessServer", {}, "first");
  os::ChildProcess second = run.Start("server/VantricProcessServer", {}, "second");
  ASSERT_TRUE(vtps_test::WaitUntil([&] {
    auto status = run.Call({"--status", "VantricProcessServer"});
    return status.exitCode == 0 && nlohmann::json::parse(status.out).size() == 2;
  })) << vtps_test::ReadFile(dir_.File("debug.log"));

  for (int i = 0; i < 6; ++i) {
    auto fixed = run.Call({"VantricProcessServer", "FixedAnswer", R"({"file": "a.pdf"})"});
    ASSERT_EQ(fixed.exitCode, 0) << fixed.err;
    EXPECT_EQ(nlohmann::json::parse(fixed.out)["status"], "done");
  }
  auto status = run.Call({"--status", "VantricProcessServer"});
  ASSERT_EQ(status.exitCode, 0) << status.err;
  nlohmann::json instances = nlohmann::json::parse(status.out);
  ASSERT_EQ(instances.size(), 2u) << status.out;
  EXPECT_EQ(instances[0]["answered"].get<int>() + instances[1]["answered"].get<int>(), 6);
  EXPECT_NE(instances[0]["pid"], instances[1]["pid"]);
}

}  // namespace
