#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/os/os.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;

bool OnCmd() {
  return os::NativeCommandDialect() == os::CommandDialect::kCmd;
}

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

// Exclusive creation: a name that anything already has is never opened (links planted at the
// name: job_file_test).
TEST(Os, CreateNewFileNeverOpensWhatIsThere) {
  vtps_test::TempDir dir;
  const std::string path = dir.File("job.xml");
  os::NewFile made = os::CreateNewFile(path);
  ASSERT_NE(made.file, nullptr) << made.error;
  EXPECT_FALSE(made.exists);
  EXPECT_GE(std::fputs("a\n", made.file), 0);
  EXPECT_EQ(std::fclose(made.file), 0);
  EXPECT_EQ(vtps_test::ReadFile(path), OnCmd() ? "a\r\n" : "a\n");  // text mode
  if (!OnCmd()) {
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
  }

  os::NewFile again = os::CreateNewFile(path);
  EXPECT_EQ(again.file, nullptr);
  EXPECT_TRUE(again.exists);
  EXPECT_EQ(again.error, "");
  EXPECT_TRUE(os::CreateNewFile(dir.Path().string()).exists);  // a folder

  const std::string missing = dir.File("no-folder") + os::PathSeparator() + "job.xml";
  os::NewFile refused = os::CreateNewFile(missing);
  EXPECT_EQ(refused.file, nullptr);
  EXPECT_FALSE(refused.exists);
  EXPECT_EQ(refused.error.rfind("cannot create " + missing + ": ", 0), 0u) << refused.error;
  EXPECT_GT(refused.error.size(), ("cannot create " + missing + ": ").size());
}

TEST(Os, RenameOverSwapsInOneStep) {
  vtps_test::TempDir dir;
  vtps_test::WriteFile(dir.File("old"), "old");
  vtps_test::WriteFile(dir.File("new"), "new");
  EXPECT_EQ(os::RenameOver(dir.File("new"), dir.File("old")), "");
  EXPECT_EQ(vtps_test::ReadFile(dir.File("old")), "new");
  EXPECT_FALSE(fs::exists(dir.File("new")));
  std::string error = os::RenameOver(dir.File("missing"), dir.File("old"));
  EXPECT_EQ(
      error.rfind("cannot replace " + dir.File("old") + " with " + dir.File("missing") + ": ", 0),
      0u)
      << error;
  EXPECT_EQ(vtps_test::ReadFile(dir.File("old")), "new");
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

TEST(Os, ErrorTextSaysWhatTheNumberMeans) {
  EXPECT_EQ(os::ErrorText(ENOENT), "No such file or directory");
  EXPECT_EQ(os::ErrorText(EACCES), "Permission denied");
}

}  // namespace
