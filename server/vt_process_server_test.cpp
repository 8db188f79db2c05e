#include <gtest/gtest.h>

#include <cstring>

#include "platform/kqtypes/kqtypes.h"
#include "platform/kqtypes/test_dynamic_info.h"
#include "server/vt_process_server.h"
#include "tests/support/fake_ntr.h"
#include "tests/support/server_environment.h"

namespace {

const std::string kFolder = "Servers/VantricProcessServer/Configuration/";

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
  EXPECT_TRUE((AnswersWithEachPart<VTProcessServer, KQM_TServer, KQ_TObject>(server)));
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

TEST(VTProcessServer, UnreachableConfigurationServiceGivesADegradedStart) {
  vtps_test::ServerEnvironment environment(1);  // nothing listens on the NTR port
  VTProcessServer server;
  EXPECT_TRUE(server.progPathEnvVar.Empty());
  EXPECT_TRUE(server.processors.empty());
  EXPECT_NE(environment.Log().find(
                " 0 VantricProcessServer Exception when retrieving ProgramDirectory from NTR.\n"),
            std::string::npos);
  EXPECT_FALSE(server.LoadConfiguration());
}

TEST(VTProcessServer, LoadsFromTheConfigurationServiceOnItsOwnHost) {
  vtps_test::ServerEnvironment environment(1);
  vtps_test::FakeNtr ntr;
  ntr.values[kFolder + "ProgramDirectory"] = "procs/";
  ntr.values[kFolder + "WorkingDirectory"] = KQ_TURL(KQ_TString("file:///var/jobs"));
  ntr.values[kFolder] = KQ_TTree();
  KQ_TList names;
  names.Append("Convert");
  ntr.listings[kFolder] = names;
  ntr.values[kFolder + "Convert"] = "convert.sh";
  ntr.Start(environment.NtrPort());
  // The server's own host name is used, so KQ_SERVER is not consulted.
  ServerSettings settings = ServerSettings::OfProgram();
  settings.configurationHost = "no-such-host.invalid";
  VTProcessServer server(settings);
  EXPECT_EQ(server.programDirectory.Text(), "procs/");
  EXPECT_EQ(server.processors.size(), 1u);
}

}  // namespace
