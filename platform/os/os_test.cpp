#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/os/os.h"

namespace {

TEST(Os, ThreadIdsDifferBetweenThreads) {
  std::uint32_t mine = os::CurrentThreadId();
  std::uint32_t other = 0;
  std::thread([&] { other = os::CurrentThreadId(); }).join();
  EXPECT_NE(mine, 0u);
  EXPECT_NE(mine, other);
  EXPECT_EQ(mine, os::CurrentThreadId());
}

TEST(Os, ClockIsInThisCentury) {
  EXPECT_GT(os::SecondsSince1970(), 1700000000);
  EXPECT_LT(os::SecondsSince1970(), 4102444800);
}

TEST(Os, EnvironmentSetReadUnset) {
  const char* name = "VTPS_OS_TEST_VARIABLE";
  os::SetEnv(name, "some value");
  EXPECT_EQ(os::GetEnv(name), "some value");
  os::UnsetEnv(name);
  EXPECT_EQ(os::GetEnv(name), std::nullopt);
}

TEST(Os, RunCommandLinePassesTheExitCodeOn) {
  EXPECT_EQ(os::RunCommandLine("exit 0"), 0);
  EXPECT_EQ(os::RunCommandLine("exit 3"), 3);
}

TEST(Os, CommandsInheritNoDescriptorButTheStandardOnes) {
  if (os::NativeCommandDialect() == os::CommandDialect::kCmd)
    GTEST_SKIP() << "POSIX descriptors";
  std::FILE* open =
      std::fopen((std::filesystem::temp_directory_path() / "vtps_os_fd").string().c_str(), "w");
  ASSERT_NE(open, nullptr);
  std::string descriptor = std::to_string(fileno(open));
  EXPECT_EQ(os::RunCommandLine("test -e /proc/$$/fd/" + descriptor), 1);
  EXPECT_EQ(os::RunCommandLine("test -e /proc/$$/fd/2"), 0);
  std::fclose(open);
  std::filesystem::remove(std::filesystem::temp_directory_path() / "vtps_os_fd");
}

TEST(Os, RemoveFileReportsWhetherItRemoved) {
  auto path = (std::filesystem::temp_directory_path() / "vtps_os_test_remove.txt").string();
  std::ofstream(path) << "x";
  EXPECT_TRUE(os::RemoveFile(path));
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_FALSE(os::RemoveFile(path));
}

TEST(Os, SeparatorAndDialectMatch) {
  if (os::NativeCommandDialect() == os::CommandDialect::kCmd) {
    EXPECT_EQ(os::PathSeparator(), '\\');
  } else {
    EXPECT_EQ(os::PathSeparator(), '/');
  }
}

TEST(Os, ProgramNameHasNoFolderOrExtension) {
  EXPECT_EQ(os::ProgramName(), "os_test");
}

TEST(Os, ErrorTextIsReadable) {
  EXPECT_FALSE(os::ErrorText(2).empty());
}

}  // namespace
