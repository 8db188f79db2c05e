// Reading the options from the environment: the one place that does. Every other middleware
// test builds its options directly.
#include "platform/kqmware/options.h"

#include <gtest/gtest.h>

#include "platform/kqmware/kqm_server.h"
#include "platform/kqtypes/kq_exception.h"
#include "tests/support/scoped_env.h"
#include "tests/support/test_support.h"

namespace {

using vtps_test::ScopedEnv;

TEST(Options, TheEnvironmentsSettingsAreRead) {
  ScopedEnv workers("KQM_WORKERS", "3");
  ScopedEnv queue("KQM_QUEUE", "0");
  ScopedEnv listen("KQM_LISTEN", "0.0.0.0");
  ScopedEnv metrics("KQM_METRICS_LISTEN", "[::1]:9464");
  ScopedEnv nats("KQM_NATS_URL", "nats://a:4222,nats://b:4222");
  ScopedEnv timeout("KQM_REQUEST_TIMEOUT_MS", "250");
  kqm::ServerOptions server = kqm::ServerOptions::FromEnvironment();
  EXPECT_EQ(server.workers, 3);
  EXPECT_EQ(server.queueLimit, 0u);
  EXPECT_EQ(server.listenAddress, "0.0.0.0");
  ASSERT_TRUE(server.metricsListen.has_value());
  EXPECT_EQ(server.metricsListen->host, "::1");
  EXPECT_EQ(server.metricsListen->port, 9464);
  EXPECT_EQ(server.natsUrl, "nats://a:4222,nats://b:4222");
  EXPECT_EQ(server.stopTimeoutMs, kqm::kDefaultStopTimeoutMs);
  kqm::ClientOptions client = kqm::ClientOptions::FromEnvironment();
  EXPECT_EQ(client.requestTimeoutMs, 250);
  EXPECT_EQ(client.natsUrl, "nats://a:4222,nats://b:4222");
  EXPECT_EQ(client.connectTimeoutMs, kqm::kDefaultConnectTimeoutMs);
}

// The four-argument Bind reads the environment: a setting it cannot use stops it, named.
TEST(Options, UnusableSettingsStopBindWithTheirName) {
  for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>>{
           {"KQM_QUEUE", "-1"}, {"KQM_STOP_TIMEOUT_MS", "soon"}, {"KQM_METRICS_LISTEN", "9464"}}) {
    ScopedEnv setting(name, value);
    EXPECT_THROW(kqm::ServerOptions::FromEnvironment(), KQ_EException) << name;
    KQM_TServer server;
    try {
      server.Bind("TestService", vtps_test::FreePort(), 0, false);
      ADD_FAILURE() << name << "=" << value << " was accepted";
    } catch (const KQ_EException& error) {
      EXPECT_EQ(error.KQ_Message().Text().rfind(name + " is \"" + value + "\"", 0), 0u)
          << error.KQ_Message().Text();
    }
  }
}

}  // namespace
