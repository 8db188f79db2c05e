#include <gtest/gtest.h>

#include <cstring>

#include "server/vt_process_server.h"
#include "tests/support/server_environment.h"

namespace {

TEST(VTProcessServer, StartsBoundWithAHostNameAndEmptySettings) {
  vtps_test::ServerEnvironment environment;
  {
    VTProcessServer server;
    EXPECT_EQ(server.ServiceName(), "VantricProcessServer");
    EXPECT_EQ(server.BoundPort(), environment.ServerPort());
    EXPECT_GT(std::strlen(server.hostName), 0u);
    // No configuration service is running here, so the load leaves the settings empty.
    EXPECT_TRUE(server.progPathEnvVar.Empty());
    EXPECT_TRUE(server.programDirectory.Empty());
    EXPECT_TRUE(server.workingDirectory.Text().Empty());
    EXPECT_TRUE(server.processors.empty());
  }
  std::string log = environment.Log();
  std::size_t constructed = log.find(" 1 Receiving Constructor call\n");
  std::size_t destroyed = log.find(" 1 Receiving Destructor call\n");
  ASSERT_NE(constructed, std::string::npos) << log;
  ASSERT_NE(destroyed, std::string::npos) << log;
  EXPECT_LT(constructed, destroyed);
  EXPECT_EQ(log.find("Receiving Destructor call", destroyed + 4), std::string::npos);
}

TEST(VTProcessServer, DynamicInfoTable) {
  vtps_test::ServerEnvironment environment;
  VTProcessServer server;
  const KQ_IInterface& object = server;
  auto* record = static_cast<KQ_TClass*>(object.KQ_DynamicInfo(nullptr));
  ASSERT_EQ(record, KQ_TClass::Find("VTProcessServer"));
  record->announced = false;
  EXPECT_EQ(object.KQ_DynamicInfo(nullptr), record);
  EXPECT_TRUE(record->announced);
  EXPECT_EQ(record->Parent(), KQM_TServer::KQ_ClassObject());
  EXPECT_EQ(record->Size(), sizeof(VTProcessServer));
  EXPECT_EQ(object.KQ_DynamicInfo("VTProcessServer"), static_cast<void*>(&server));
  EXPECT_EQ(object.KQ_DynamicInfo("KQM_TServer"),
            static_cast<void*>(static_cast<KQM_TServer*>(&server)));
  EXPECT_EQ(object.KQ_DynamicInfo("KQ_TObject"),
            static_cast<void*>(static_cast<KQ_TObject*>(&server)));
  EXPECT_EQ(object.KQ_DynamicInfo("NTR_EConfigException"), nullptr);
  EXPECT_STREQ(server.ClassName(), "VTProcessServer");
  EXPECT_TRUE(server.HasSuperclass("KQM_TServer"));
  EXPECT_NE(record->GetFactory(), nullptr);
}

TEST(VTProcessServer, UnknownMethodLogsAndAnswersEmpty) {
  vtps_test::ServerEnvironment environment;
  VTProcessServer server;
  server.processors[KQ_TString("known")] = KQ_TString("run.sh");
  KQ_TDict answer = server.Execute("unknown", KQ_TDict());
  EXPECT_TRUE(answer.Empty());
  std::string log = environment.Log();
  EXPECT_NE(log.find(" 1 Receiving Execute call\n"), std::string::npos);
  EXPECT_NE(log.find(" 0 VantricProcessServer Exception Processor not found.\n"), std::string::npos)
      << log;
  EXPECT_TRUE(std::filesystem::is_empty(environment.JobsDir()));
}

}  // namespace
