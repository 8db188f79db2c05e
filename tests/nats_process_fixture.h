// NatsProcess, the fixture of the tests of the middleware over NATS across processes: it
// starts instances of kqm-test-server bound over a nats-server (NatsNode) and is the client
// itself. The fixture owns the instances and ends them when the test ends; it skips the
// test where nats-server is not installed. Use it from the test's thread; its calls may come
// from any thread while no setting changes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/kqmware/kqmware.h"
#include "platform/kqtypes/kqtypes.h"
#include "platform/kqtypes/test_exceptions.h"
#include "platform/os/child_process.h"
#include "tests/nats_node.h"
#include "tests/support/test_support.h"

namespace vtps_test {

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
  void UseNats(const std::string& url) { client_.natsUrl = url; }

  KQ_TAny Call(const KQ_TString& method, const KQ_TAny& parameter) const {
    KQM_TClient client(client_);
    client.SetConnectionAddress("", "TestService", 0, KQM_TClient::kConnectOnRequest);
    return client.Call(method, parameter);
  }

  // Every instance's status, by process id.
  std::map<std::int64_t, KQ_TDict> Statuses() const {
    KQM_TClient client(client_);
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
  ::testing::AssertionResult WaitForInstances(std::size_t count) const {
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
  kqm::ClientOptions client_;  // this process's clients'
  std::vector<std::unique_ptr<os::ChildProcess>> instances_;
};

}  // namespace vtps_test
