// Reading the options from the environment: the one place that does, and the program's
// options the forms made without options take. Every other middleware test builds its
// options directly.
#include "platform/kqmware/options.h"

#include <gtest/gtest.h>

#include "platform/kqmware/kqm_server.h"
#include "platform/kqmware/program_options.h"
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

TEST(Options, TheProgramsOptionsShareOneServiceDirectory) {
  vtps_test::TempDir dir;
  ScopedEnv services("KQM_SERVICES", dir.File("services"));
  ScopedEnv log("KQM_DEBUG_LOG", dir.File("debug.log"));
  ScopedEnv level("KQM_DEBUG_LEVEL", "5");
  kqm::ProgramOptions program = kqm::ProgramOptions::FromEnvironment();
  EXPECT_EQ(program.debugLog, dir.File("debug.log"));
  EXPECT_EQ(program.debugLevel, 5);
  EXPECT_EQ(program.server.services.File(), dir.File("services"));
  EXPECT_EQ(program.client.services.File(), dir.File("services"));
  // Read once, by whichever asks first.
  vtps_test::WriteFile(dir.File("services"), "TestService 6123/tcp\n");
  EXPECT_EQ(program.server.services.Port("TestService"), 6123);
  vtps_test::WriteFile(dir.File("services"), "TestService 6124/tcp\n");
  EXPECT_EQ(program.client.services.Port("TestService"), 6123);
}

// The program's edge reads the environment: a setting it cannot use stops it, named.
TEST(Options, UnusableSettingsAreNamed) {
  for (const auto& [name, value] :
       std::vector<std::pair<std::string, std::string>>{{"KQM_QUEUE", "-1"},
                                                        {"KQM_STOP_TIMEOUT_MS", "soon"},
                                                        {"KQM_METRICS_LISTEN", "9464"},
                                                        {"KQM_DEBUG_LEVEL", "high"}}) {
    ScopedEnv setting(name, value);
    try {
      kqm::ProgramOptions::FromEnvironment();
      ADD_FAILURE() << name << "=" << value << " was accepted";
    } catch (const KQ_EException& error) {
      EXPECT_EQ(error.KQ_Message().Text().rfind(name + " is \"" + value + "\"", 0), 0u)
          << error.KQ_Message().Text();
    }
  }
}

// The forms made without options take the program's: a KQM_TServer its debug level, the
// four-argument Bind its server options.
TEST(Options, TheConveniencesTakeTheProgramsOptions) {
  kqm::ProgramOptions earlier = kqm::ProgramOptionsInUse();
  kqm::ProgramOptions program;
  program.debugLevel = 3;
  program.server.listenAddress = "not-an-address";
  kqm::UseProgramOptions(program);
  KQM_TServer server;
  EXPECT_EQ(server.GetDebugLevel(), 3);
  try {
    server.Bind("TestService", vtps_test::FreePort(), 0, false);
    ADD_FAILURE() << "the program's listen address was not used";
  } catch (const KQ_EException& error) {
    EXPECT_EQ(error.KQ_Message().Text().rfind("KQM_LISTEN is \"not-an-address\"", 0), 0u)
        << error.KQ_Message().Text();
  }
  kqm::UseProgramOptions(earlier);
}

}  // namespace
