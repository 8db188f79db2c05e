#include <gtest/gtest.h>

#include "platform/kqmware/service_directory.h"
#include "platform/kqtypes/kqtypes.h"
#include "platform/os/os.h"
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

TEST(ServiceDirectory, UsesItsServicesFileThenTheSystemDatabase) {
  vtps_test::TempDir dir;
  std::string file = dir.File("services");
  vtps_test::WriteFile(file, "TestService 6123/tcp\n");
  kqm::ServiceDirectory directory(file);
  EXPECT_EQ(directory.Port("TestService"), 6123);
  try {
    directory.Port("NoSuchService");
    ADD_FAILURE() << "an unknown service got a port";
  } catch (const KQ_EException& error) {
    const std::string& message = error.KQ_Message().Text();
    EXPECT_NE(message.find("the service NoSuchService has no port"), std::string::npos);
    EXPECT_NE(message.find("add a line \"NoSuchService <port>/tcp\""), std::string::npos);
    EXPECT_NE(message.find(file), std::string::npos);
  }
  EXPECT_THROW(kqm::ServiceDirectory(dir.File("missing")).Port("TestService"), KQ_EException);
  EXPECT_THROW(kqm::ServiceDirectory().Port("NoSuchService"), KQ_EException);
}

// The file is read on the first lookup and kept, by the directory and its copies; one that
// could not be read is tried again.
TEST(ServiceDirectory, ReadsTheFileOnce) {
  vtps_test::TempDir dir;
  std::string file = dir.File("services");
  kqm::ServiceDirectory directory(file);
  kqm::ServiceDirectory copy = directory;
  EXPECT_THROW(directory.Port("TestService"), KQ_EException);
  vtps_test::WriteFile(file, "TestService 6123/tcp\n");
  EXPECT_EQ(directory.Port("TestService"), 6123);
  vtps_test::WriteFile(file, "TestService 6124/tcp\n");
  EXPECT_EQ(directory.Port("TestService"), 6123);
  EXPECT_EQ(copy.Port("TestService"), 6123);
  EXPECT_EQ(kqm::ServiceDirectory(file).Port("TestService"), 6124);
}

}  // namespace
