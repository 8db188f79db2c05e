#include <gtest/gtest.h>

#include "platform/kqmware/service_directory.h"
#include "platform/kqtypes/kqtypes.h"
#include "platform/os/os.h"
#include "tests/support/scoped_env.h"
#include "tests/support/test_support.h"

namespace {

TEST(ParseServices, ReadsTcpEntriesAliasesAndComments) {
  auto services = kqm::ParseServices(
      "# defaults\n"
      "VantricProcessServer 7410/tcp   # the server\n"
      "\n"
      "NTR\t7411/tcp ntr config\r\n"
      "NTR 9999/tcp\n"
      "Other 7412/udp\n",
      "test");
  EXPECT_EQ(services.at("VantricProcessServer"), 7410);
  EXPECT_EQ(services.at("NTR"), 7411);  // the first line wins
  EXPECT_EQ(services.at("ntr"), 7411);
  EXPECT_EQ(services.at("config"), 7411);
  EXPECT_EQ(services.count("Other"), 0u);
}

TEST(ParseServices, MalformedLinesNameFileAndLine) {
  for (const char* line : {"NTR", "NTR 7411", "NTR x/tcp", "NTR 0/tcp", "NTR 70000/tcp"}) {
    try {
      kqm::ParseServices(std::string("# ok\n") + line + "\n", "etc/kqm-services");
      ADD_FAILURE() << "accepted " << line;
    } catch (const KQ_EException& error) {
      EXPECT_EQ(error.KQ_Message().Text().rfind("etc/kqm-services:2: expected", 0), 0u)
          << error.KQ_Message().Text();
    }
  }
}

TEST(ServicePort, UsesTheFileNamedInTheEnvironment) {
  vtps_test::TempDir dir;
  std::string file = dir.File("services");
  vtps_test::WriteFile(file, "TestService 6123/tcp\n");
  vtps_test::ScopedEnv services("KQM_SERVICES", file);
  EXPECT_EQ(kqm::ServicePort("TestService"), 6123);
  try {
    kqm::ServicePort("NoSuchService");
    ADD_FAILURE() << "an unknown service got a port";
  } catch (const KQ_EException& error) {
    const std::string& message = error.KQ_Message().Text();
    EXPECT_NE(message.find("the service NoSuchService has no port"), std::string::npos);
    EXPECT_NE(message.find("add a line \"NoSuchService <port>/tcp\""), std::string::npos);
    EXPECT_NE(message.find(file), std::string::npos);
  }
  services.Set(dir.File("missing"));
  EXPECT_THROW(kqm::ServicePort("TestService"), KQ_EException);
}

}  // namespace
