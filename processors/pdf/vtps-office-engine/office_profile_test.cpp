#include "processors/pdf/vtps-office-engine/office_profile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/test_support.h"

namespace pdf::office {
namespace {

using ::testing::HasSubstr;

TEST(OfficeProfile, TurnsOffMacrosLinksAndTheFirstStartsWork) {
  std::string settings = ProfileSettings("7.4");
  for (const char* expected :
       {"<prop oor:name=\"DisableMacrosExecution\" oor:op=\"fuse\"><value>true</value>",
        "<prop oor:name=\"BlockUntrustedRefererLinks\" oor:op=\"fuse\"><value>true</value>",
        "<prop oor:name=\"MacroSecurityLevel\" oor:op=\"fuse\"><value>3</value>",
        "<prop oor:name=\"UseLocking\" oor:op=\"fuse\"><value>false</value>",
        "<item oor:path=\"/org.openoffice.Setup/Product\"><prop oor:name=\"ooSetupLastVersion\" "
        "oor:op=\"fuse\"><value>7.4</value>"})
    EXPECT_THAT(settings, HasSubstr(expected));
  EXPECT_THAT(ProfileSettings(""), ::testing::Not(HasSubstr("ooSetupLastVersion")));
}

TEST(OfficeProfile, TheVersionIsTheRegistrysValueNotItsDeclaration) {
  vtps_test::TempDir dir;
  std::filesystem::create_directories(dir.Path() / "program");
  std::filesystem::create_directories(dir.Path() / "share/registry");
  std::string program = dir.File("program");
  EXPECT_EQ(InstalledVersion(program), "");
  vtps_test::WriteFile(
      dir.File("share/registry/main.xcd"),
      "<prop oor:name=\"ooSetupVersion\" oor:type=\"xs:string\">\n<value/>\n</prop>"
      "<prop oor:name=\"ooSetupVersion\">\n  <value>7.4</value>\n</prop>");
  EXPECT_EQ(InstalledVersion(program), "7.4");
  vtps_test::WriteFile(dir.File("share/registry/main.xcd"),
                       "<prop oor:name=\"ooSetupVersion\"><value>7.4\"/><x></value></prop>");
  EXPECT_EQ(InstalledVersion(program), "");
}

TEST(OfficeProfile, IsMadeAfreshInItsFolder) {
  vtps_test::TempDir dir;
  std::string folder = dir.File("profile");
  std::filesystem::create_directories(folder + "/user/left-over");
  ASSERT_EQ(MakeOfficeProfile(folder, "7.4"), "");
  EXPECT_FALSE(std::filesystem::exists(folder + "/user/left-over"));
  EXPECT_EQ(vtps_test::ReadFile(folder + "/user/registrymodifications.xcu"),
            ProfileSettings("7.4"));
}

}  // namespace
}  // namespace pdf::office
