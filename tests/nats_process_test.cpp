// The middleware over NATS across processes: each test starts its own nats-server (one, or
// a three-node cluster) on free ports, instances of kqm-test-server bound over it, and is
// the client itself.
#include <gtest/gtest.h>

#include <utility>  // Boost 1.74 Asio uses std::exchange without including it

#include <atomic>
#include <boost/asio.hpp>
#include <filesystem>
#include <future>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <thread>

#include "platform/kqmware/kqmware.h"
#include "platform/kqtypes/kqtypes.h"
#include "platform/kqtypes/test_exceptions.h"
#include "platform/os/child_process.h"
#include "tests/support/program_runner.h"
#include "tests/support/scoped_env.h"
#include "tests/support/test_support.h"

namespace {

constexpr const char* kNatsServer = "/usr/sbin/nats-server";

// A nats-server listening on a port of its own, ended when the object goes.
class NatsNode {
 public:
  // `clusterPort` 0: a single server; else it takes cluster routes on that port and
  // connects to `routes` ("nats://127.0.0.1:P,...").
  NatsNode(const vtps_test::TempDir& dir, const std::string& name, std::uint16_t clusterPort = 0,
           const std::string& routes = "")
      : dir_(dir), name_(name), port_(vtps_test::FreePort()) {
    arguments_ = {"-a", "127.0.0.1", "-p", std::to_string(port_)};
    if (clusterPort != 0) {
      arguments_.insert(arguments_.end(),
                        {"--cluster_name", "vtps", "--cluster",
                         "nats://127.0.0.1:" + std::to_string(clusterPort), "--routes", routes});
    }
    Start();
  }

  void Start() {
    os::ChildProcess::Options options;
    options.arguments = arguments_;
    options.stdoutPath = dir_.File(name_ + ".out");
    options.stderrPath = dir_.File(name_ + ".err");
    process_.emplace(os::ChildProcess::Start(kNatsServer, options));
    // Ready once it takes connections.
    EXPECT_TRUE(vtps_test::WaitUntil([&] {
      boost::asio::io_context io;
      boost::asio::ip::tcp::socket socket(io);
      boost::system::error_code error;
      socket.connect({boost::asio::ip::address_v4::loopback(), port_}, error);
      return !error;
    })) << name_
        << " does not take connections on port " << port_;
  }

  void Stop() {
    process_->Kill();
    process_->WaitFor(std::chrono::seconds(10));
    process_.reset();
  }

  std::string Url() const { return "nats://127.0.0.1:" + std::to_string(port_); }

 private:
  const vtps_test::TempDir& dir_;
  std::string name_;
  std::uint16_t port_;
  std::vector<std::string> arguments_;
  std::optional<os::ChildProcess> process_;
};

class NatsProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(kNatsServer))
      GTEST_SKIP() << kNatsServer << " is missing (Debian package nats-server)";
    __KQ_INITIALIZATION_FUNCTION_KQMWare__();
    Test_EFailure::KQ_ClassObject();
  }

  // Starts a kqm-test-server bound over NATS at `url`, with extra settings.
  os::ChildProcess& StartInstance(const std::string& url,
                                  std::vector<std::pair<std::string, std::string>> extra = {}) {
    int number = static_cast<int>(instances_.size());
    os::ChildProcess::Options options;
    options.arguments = {"0"};
    options.stdoutPath = dir_.File("instance" + std::to_string(number) + ".out");
    options.stderrPath = dir_.File("instance" + std::to_string(number) + ".err");
    options.environment = {
        {"KQM_NATS_URL", url},
        {"KQM_DEBUG_LOG", dir_.File("instance" + std::to_string(number) + ".log")},
        {"KQM_DEBUG_LEVEL", "1"}};
    options.environment.insert(options.environment.end(), extra.begin(), extra.end());
    instances_.push_back(std::make_unique<os::ChildProcess>(
        os::ChildProcess::Start(vtps_test::BuildProgram("tests/kqm-test-server"), options)));
    return *instances_.back();
  }

  // Points this process's clients at `url`.
  void UseNats(const std::string& url) { url_.emplace("KQM_NATS_URL", url); }

  static KQ_TAny Call(const KQ_TString& method, const KQ_TAny& parameter) {
    KQM_TClient client;
    client.SetConnectionAddress("", "TestService", 0, KQM_TClient::kConnectOnRequest);
    return client.Call(method, parameter);
  }

  // Every instance's status, by process id.
  static std::map<std::int64_t, KQ_TDict> Statuses() {
    KQM_TClient client;
    client.SetConnectionAddress("", "TestService", 0, KQM_TClient::kConnectOnRequest);
    std::map<std::int64_t, KQ_TDict> byPid;
    for (const KQ_TDict& status : client.StatusOfEvery(500))
      byPid[status["pid"].DynamicCast<KQ_TInt>()->Value()] = status;
    return byPid;
  }

  static std::int64_t Number(const KQ_TDict& status, const char* key) {
    return status[key].DynamicCast<KQ_TInt>()->Value();
  }

  // Waits until `count` instances answer the status subject and requests are served.
  static ::testing::AssertionResult WaitForInstances(std::size_t count) {
    std::string last = "no attempt";
    bool up = vtps_test::WaitUntil([&] {
      try {
        std::size_t seen = Statuses().size();
        last = std::to_string(seen) + " instance(s) answer the status probe";
        return seen == count && Call("Echo", "ping") == KQ_TAny("ping");
      } catch (const KQ_EException& error) {
        last = error.KQ_Message().Text();
        return false;
      }
    });
    if (up)
      return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "not " << count << " instances serving: " << last;
  }

  vtps_test::TempDir dir_;
  std::optional<vtps_test::ScopedEnv> url_;
  std::vector<std::unique_ptr<os::ChildProcess>> instances_;
};

TEST_F(NatsProcess, TwoInstancesShareTheRequestsOfFourClients) {
  NatsNode nats(dir_, "nats");
  UseNats(nats.Url());
  StartInstance(nats.Url());
  StartInstance(nats.Url());
  ASSERT_TRUE(WaitForInstances(2));

  std::vector<std::future<int>> clients;
  for (int c = 0; c < 4; ++c) {
    clients.push_back(std::async(std::launch::async, [c] {
      KQM_TClient client;
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

  KQM_TClient client;
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

TEST_F(NatsProcess, AKilledInstanceLosesOnlyItsRequestsInFlight) {
  NatsNode nats(dir_, "nats");
  UseNats(nats.Url());
  vtps_test::ScopedEnv timeout("KQM_REQUEST_TIMEOUT_MS", "3000");
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
