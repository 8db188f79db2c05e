#include "processors/pdf/run/output_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "tests/support/test_support.h"

namespace pdf::run {

namespace {

namespace fs = std::filesystem;
using Content = OutputFile::Content;

std::set<std::string> Names(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.insert(entry.path().filename().string());
  return names;
}

class OutputFileTest : public ::testing::TestWithParam<Content> {
 protected:
  void SetUp() override {
    os::FileFailure failure;
    folder_ = std::make_shared<os::FileHandle>(os::OpenFolder(dir_.Path().string(), failure));
    ASSERT_TRUE(folder_->Valid()) << failure.Text();
  }

  std::unique_ptr<OutputFile> Make(const std::string& name) {
    return std::make_unique<OutputFile>(folder_, name, name, GetParam());
  }

  vtps_test::TempDir dir_;
  std::shared_ptr<os::FileHandle> folder_;
};

TEST_P(OutputFileTest, CommitReplacesTheFinalFileOnlyThenAndLeavesNothingElse) {
  vtps_test::WriteFile(dir_.File("out.pdf"), "old");
  std::unique_ptr<OutputFile> output = Make("out.pdf");
  vtps_test::WriteFile(output->WritablePath(), "new");
  EXPECT_EQ(vtps_test::ReadFile(dir_.File("out.pdf")), "old");
  output->Commit();
  EXPECT_EQ(vtps_test::ReadFile(dir_.File("out.pdf")), "new");
  output.reset();
  EXPECT_EQ(Names(dir_.Path()), std::set<std::string>{"out.pdf"});
}

TEST_P(OutputFileTest, AnUncommittedOutputLeavesNothingBehind) {
  std::unique_ptr<OutputFile> output = Make("out.pdf");
  vtps_test::WriteFile(output->WritablePath(), "half");
  output.reset();
  EXPECT_TRUE(Names(dir_.Path()).empty());
}

TEST_P(OutputFileTest, ALinkAtTheNameIsReplacedNotWrittenThrough) {
  vtps_test::WriteFile(dir_.File("elsewhere"), "keep");
  fs::create_symlink(dir_.File("elsewhere"), dir_.File("out.pdf"));
  std::unique_ptr<OutputFile> output = Make("out.pdf");
  vtps_test::WriteFile(output->WritablePath(), "new");
  output->Commit();
  EXPECT_FALSE(fs::is_symlink(dir_.File("out.pdf")));
  EXPECT_EQ(vtps_test::ReadFile(dir_.File("out.pdf")), "new");
  EXPECT_EQ(vtps_test::ReadFile(dir_.File("elsewhere")), "keep");
}

TEST_P(OutputFileTest, OnlyAbandonedHiddenContentIsRemoved) {
  // Content files as a killed writer leaves them: old and unlocked; one still locked by its
  // writer; one too young to tell; and a file of the user's that only looks alike.
  auto old = fs::file_time_type::clock::now() - std::chrono::hours(1);
  for (const char* name :
       {".vtps-output-1.tmp", ".vtps-output-2.tmp", ".vtps-output-3.tmp", "vtps-output-4.tmp"})
    vtps_test::WriteFile(dir_.File(name), "x");
  for (const char* name : {".vtps-output-1.tmp", ".vtps-output-2.tmp", "vtps-output-4.tmp"})
    fs::last_write_time(dir_.File(name), old);
  os::FileFailure failure;
  os::FileHandle writer =
      os::OpenFileBelow(folder_.get(), ".vtps-output-2.tmp", os::Resolve::kBeneath, failure);
  ASSERT_TRUE(os::TryLockExclusive(writer));

  RemoveAbandonedOutputs(*folder_);
  EXPECT_EQ(Names(dir_.Path()), (std::set<std::string>{".vtps-output-2.tmp", ".vtps-output-3.tmp",
                                                       "vtps-output-4.tmp"}));
}

TEST_P(OutputFileTest, TwoOutputsForOneNameKeepTheirOwnContent) {
  std::unique_ptr<OutputFile> first = Make("out.pdf");
  std::unique_ptr<OutputFile> second = Make("out.pdf");
  vtps_test::WriteFile(first->WritablePath(), "1");
  vtps_test::WriteFile(second->WritablePath(), "2");
  first->Commit();
  EXPECT_EQ(vtps_test::ReadFile(dir_.File("out.pdf")), "1");
  second->Commit();
  EXPECT_EQ(vtps_test::ReadFile(dir_.File("out.pdf")), "2");
}

TEST_P(OutputFileTest, CommitIfFreeNeverReplacesAndCanTakeAnotherName) {
  vtps_test::WriteFile(dir_.File("taken.pdf"), "theirs");
  std::unique_ptr<OutputFile> output = Make("taken.pdf");
  vtps_test::WriteFile(output->WritablePath(), "mine");
  EXPECT_FALSE(output->CommitIfFree());
  EXPECT_EQ(vtps_test::ReadFile(dir_.File("taken.pdf")), "theirs");
  output->RenameTarget("free.pdf", "free.pdf");
  EXPECT_TRUE(output->CommitIfFree());
  output.reset();
  EXPECT_EQ(vtps_test::ReadFile(dir_.File("free.pdf")), "mine");
  EXPECT_EQ(Names(dir_.Path()), (std::set<std::string>{"free.pdf", "taken.pdf"}));
}

// Closed outputs hold no descriptor; they keep their content until committed or discarded,
// and the folder's run lock goes with the last of them.
TEST_P(OutputFileTest, ClosedOutputsCommitOrLeaveNothingBehind) {
  std::unique_ptr<OutputFile> kept = Make("kept.pdf");
  std::unique_ptr<OutputFile> dropped = Make("dropped.pdf");
  vtps_test::WriteFile(kept->WritablePath(), "kept");
  vtps_test::WriteFile(dropped->WritablePath(), "dropped");
  kept->Close();
  dropped->Close();
  EXPECT_FALSE(kept->File().Valid());
  os::FileHandle again = kept->OpenContent();
  ASSERT_TRUE(again.Valid());
  again = os::FileHandle();
  dropped.reset();
  kept->Commit();
  kept.reset();
  EXPECT_EQ(vtps_test::ReadFile(dir_.File("kept.pdf")), "kept");
  EXPECT_EQ(Names(dir_.Path()), std::set<std::string>{"kept.pdf"});
}

INSTANTIATE_TEST_SUITE_P(Contents, OutputFileTest,
                         ::testing::Values(Content::kUnnamedWherePossible, Content::kNamed),
                         [](const auto& param) {
                           return param.param == Content::kNamed ? "Named" : "Unnamed";
                         });

}  // namespace

}  // namespace pdf::run
