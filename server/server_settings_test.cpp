// Reading the server's settings from the environment: the one place that does. The other
// server tests build their settings directly.
#include "server/server_settings.h"

#include <gtest/gtest.h>

#include "platform/kqtypes/kq_exception.h"
#include "tests/support/scoped_env.h"
#include "tests/support/test_support.h"

namespace {

using vtps_test::ScopedEnv;

TEST(ServerSettings, TheEnvironmentsSettingsAreRead) {
  vtps_test::TempDir dir;
  ScopedEnv time("VTPS_PROCESSOR_TIME_LIMIT", "30");
  ScopedEnv memory("VTPS_PROCESSOR_MEMORY_LIMIT", "512");
  ScopedEnv keys("VTPS_SECRET_KEYS", "pin, code");
  ScopedEnv level("KQM_DEBUG_LEVEL", "2");
  ScopedEnv workers("KQM_WORKERS", "3");
  ScopedEnv timeout("KQM_REQUEST_TIMEOUT_MS", "250");
  ScopedEnv host("KQ_SERVER", "config-host");
  ScopedEnv services("KQM_SERVICES", dir.File("services"));
  ServerSettings settings = ServerSettings::FromEnvironment();
  EXPECT_EQ(settings.processorTimeLimitSeconds, 30);
  EXPECT_EQ(settings.processorMemoryLimitMiB, 512u);
  EXPECT_EQ(settings.secretKeys, (std::vector<std::string>{"pin", "code"}));
  EXPECT_EQ(settings.debugLevel, 2);
  EXPECT_EQ(settings.middleware.workers, 3);
  EXPECT_EQ(settings.configurationClient.requestTimeoutMs, 250);
  EXPECT_EQ(settings.configurationHost, "config-host");
  // The server and its configuration client read the services file once between them.
  vtps_test::WriteFile(dir.File("services"), "NTR 6123/tcp\n");
  EXPECT_EQ(settings.middleware.services.Port("NTR"), 6123);
  vtps_test::WriteFile(dir.File("services"), "NTR 6124/tcp\n");
  EXPECT_EQ(settings.configurationClient.services.Port("NTR"), 6123);

  host.Set(std::nullopt);
  keys.Set(std::nullopt);
  ServerSettings unset = ServerSettings::FromEnvironment();
  EXPECT_EQ(unset.configurationHost, std::nullopt);
  EXPECT_EQ(unset.secretKeys, ServerSettings().secretKeys);
}

// The first unusable setting is named, in the order the server uses them: its debug level,
// the processor limits and secret keys, then the middleware's.
TEST(ServerSettings, TheFirstUnusableSettingIsNamed) {
  struct Case {
    std::vector<std::pair<std::string, std::string>> set;
    std::string named;
  };
  for (const Case& c : std::vector<Case>{
           {{{"VTPS_PROCESSOR_TIME_LIMIT", "-1"}}, "VTPS_PROCESSOR_TIME_LIMIT"},
           {{{"VTPS_PROCESSOR_TIME_LIMIT", "2678401"}}, "VTPS_PROCESSOR_TIME_LIMIT"},
           {{{"VTPS_PROCESSOR_MEMORY_LIMIT", "lots"}}, "VTPS_PROCESSOR_MEMORY_LIMIT"},
           {{{"VTPS_SECRET_KEYS", "a,,b"}}, "VTPS_SECRET_KEYS"},
           {{{"KQM_REQUEST_TIMEOUT_MS", "soon"}}, "KQM_REQUEST_TIMEOUT_MS"},
           {{{"KQM_WORKERS", "0"}, {"VTPS_SECRET_KEYS", "a,,b"}}, "VTPS_SECRET_KEYS"},
           {{{"KQM_WORKERS", "0"}, {"KQM_DEBUG_LEVEL", "x"}}, "KQM_DEBUG_LEVEL"},
           {{{"KQM_REQUEST_TIMEOUT_MS", "soon"}, {"KQM_QUEUE", "-1"}}, "KQM_QUEUE"},
       }) {
    std::vector<std::unique_ptr<ScopedEnv>> set;
    for (const auto& [name, value] : c.set)
      set.push_back(std::make_unique<ScopedEnv>(name, value));
    try {
      ServerSettings::FromEnvironment();
      ADD_FAILURE() << c.named << " was accepted";
    } catch (const KQ_EException& error) {
      EXPECT_EQ(error.KQ_Message().Text().rfind(c.named + " is \"", 0), 0u)
          << error.KQ_Message().Text();
    }
  }
}

}  // namespace
