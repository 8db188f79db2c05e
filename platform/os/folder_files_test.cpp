#include "platform/os/folder_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;

// A root folder with a file, a subfolder, a pipe and links of every kind, beside a folder
// outside it holding a secret.
class FolderFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root_ / "sub");
    fs::create_directories(outside_);
    vtps_test::WriteFile((root_ / "in.pdf").string(), "inside");
    vtps_test::WriteFile((outside_ / "secret.pdf").string(), "secret");
    fs::create_directory_symlink(outside_, root_ / "out_link");
    fs::create_symlink(root_ / "in.pdf", root_ / "abs_in");
    fs::create_symlink("in.pdf", root_ / "rel_in");
    fs::create_symlink("../in.pdf", root_ / "sub" / "up");
    fs::create_symlink("/proc/self/root/etc/hostname", root_ / "magic");
    ASSERT_EQ(::mkfifo((root_ / "pipe").c_str(), 0600), 0);
    os::FileFailure failure;
    folder_ = os::OpenFolder(root_.string(), failure);
    ASSERT_TRUE(folder_.Valid()) << failure.Text();
  }

  vtps_test::TempDir dir_;
  fs::path root_ = dir_.Path() / "root";
  fs::path outside_ = dir_.Path() / "outside";
  os::FileHandle folder_;
};

TEST_F(FolderFilesTest, ConfinedOpensStayBeneathWhateverThePathSays) {
  struct Case {
    const char* path;
    os::FileProblem problem;
  };
  const Case cases[] = {
      {"in.pdf", os::FileProblem::kNone},
      {"sub/../in.pdf", os::FileProblem::kNone},
      {"rel_in", os::FileProblem::kNone},
      {"sub/up", os::FileProblem::kNone},
      {"../outside/secret.pdf", os::FileProblem::kOutside},
      {"out_link/secret.pdf", os::FileProblem::kOutside},
      // A folder that does not exist cannot be stepped out of with "..": the kernel walks
      // the real folders, never the text.
      {"nx/../out_link/secret.pdf", os::FileProblem::kMissing},
      {"sub/../../outside/secret.pdf", os::FileProblem::kOutside},
      {"abs_in", os::FileProblem::kOutside},
      {"magic", os::FileProblem::kOutside},
      {"/etc/hostname", os::FileProblem::kOutside},
      {"sub", os::FileProblem::kIsFolder},
      {"pipe", os::FileProblem::kNotFile},
      {"none.pdf", os::FileProblem::kMissing},
      {"in.pdf/x", os::FileProblem::kNotFolder},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    os::FileFailure failure;
    os::FileHandle file = os::OpenFileBelow(&folder_, c.path, os::Resolve::kBeneath, failure);
    EXPECT_EQ(failure.problem, c.problem) << failure.Text();
    EXPECT_EQ(file.Valid(), c.problem == os::FileProblem::kNone);
  }
}

TEST_F(FolderFilesTest, UnconfinedOpensFollowThePath) {
  os::FileFailure failure;
  os::FileHandle file =
      os::OpenFileBelow(&folder_, "out_link/secret.pdf", os::Resolve::kAnywhere, failure);
  EXPECT_TRUE(file.Valid()) << failure.Text();
  EXPECT_EQ(vtps_test::ReadFile(file.ProcPath()), "secret");
}

TEST_F(FolderFilesTest, AnUnnamedFileAppearsOnlyWhenLinkedAndThenReplacesByRename) {
  os::FileFailure failure;
  os::FileHandle file = os::CreateUnnamedFile(folder_, failure);
  if (failure.problem == os::FileProblem::kUnsupported)
    GTEST_SKIP() << "this file system makes no unnamed files";
  ASSERT_TRUE(file.Valid()) << failure.Text();
  auto before = os::FolderEntries(folder_);
  vtps_test::WriteFile(file.ProcPath(), "new content");
  EXPECT_EQ(os::FolderEntries(folder_), before);

  ASSERT_FALSE(os::LinkUnnamedFile(file, folder_, ".tmp"));
  EXPECT_EQ(os::LinkUnnamedFile(file, folder_, ".tmp").problem, os::FileProblem::kExists);
  ASSERT_FALSE(os::RenameIn(folder_, ".tmp", "in.pdf"));
  EXPECT_EQ(vtps_test::ReadFile((root_ / "in.pdf").string()), "new content");
  EXPECT_FALSE(os::DescribeEntry(folder_, ".tmp"));
}

TEST_F(FolderFilesTest, NamedFilesAreCreatedExclusivelyAndNeverThroughALink) {
  os::FileFailure failure;
  os::FileHandle link = os::CreateNamedFile(folder_, "rel_in", failure);
  EXPECT_FALSE(link.Valid());
  EXPECT_EQ(failure.problem, os::FileProblem::kExists);
  EXPECT_EQ(vtps_test::ReadFile((root_ / "in.pdf").string()), "inside");

  os::FileHandle created = os::CreateNamedFile(folder_, "fresh", failure);
  ASSERT_TRUE(created.Valid()) << failure.Text();
  std::optional<os::FileInfo> entry = os::DescribeEntry(folder_, "fresh");
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->id, os::Describe(created).id);
  EXPECT_FALSE(os::RemoveIn(folder_, "fresh"));
  EXPECT_FALSE(os::DescribeEntry(folder_, "fresh"));
}

TEST_F(FolderFilesTest, AnExclusiveLockIsHeldUntilItsFileIsClosed) {
  os::FileFailure failure;
  os::FileHandle first = os::OpenFileBelow(&folder_, "in.pdf", os::Resolve::kBeneath, failure);
  os::FileHandle second = os::OpenFileBelow(&folder_, "in.pdf", os::Resolve::kBeneath, failure);
  ASSERT_TRUE(first.Valid() && second.Valid());
  EXPECT_TRUE(os::TryLockExclusive(first));
  EXPECT_FALSE(os::TryLockExclusive(second));
  first = os::FileHandle();
  EXPECT_TRUE(os::TryLockExclusive(second));
}

}  // namespace
