#include "processors/pdf/output_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "processors/pdf/pdf_error.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;

std::size_t FileCount(const fs::path& folder) {
  return static_cast<std::size_t>(
      std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

TEST(OutputFile, CommitReplacesTheFinalFileOnlyThen) {
  vtps_test::TempDir dir;
  std::string target = dir.File("out.pdf");
  vtps_test::WriteFile(target, "old");
  {
    OutputFile output(target, "out.pdf");
    EXPECT_EQ(output.TempPath().parent_path(), fs::path(target).parent_path());
    EXPECT_NE(output.TempPath(), fs::path(target));
    std::ofstream(output.TempPath()) << "new";
    EXPECT_EQ(vtps_test::ReadFile(target), "old");
    output.Commit();
  }
  EXPECT_EQ(vtps_test::ReadFile(target), "new");
  EXPECT_EQ(FileCount(dir.Path()), 1u);
}

TEST(OutputFile, AnUncommittedFileLeavesNothingBehind) {
  vtps_test::TempDir dir;
  {
    OutputFile output(dir.File("out.pdf"), "out.pdf");
    std::ofstream(output.TempPath()) << "half";
  }
  EXPECT_EQ(FileCount(dir.Path()), 0u);
}

TEST(OutputFile, RefusesAMissingFolderAFolderAndANeverWrittenFile) {
  vtps_test::TempDir dir;
  fs::create_directory(dir.File("folder"));
  EXPECT_THROW(OutputFile(dir.File("none/out.pdf"), "none/out.pdf"), PdfError);
  EXPECT_THROW(OutputFile(dir.File("folder"), "folder"), PdfError);
  OutputFile output(dir.File("out.pdf"), "out.pdf");
  try {
    output.Commit();
    ADD_FAILURE() << "committed a file never written";
  } catch (const PdfError& e) {
    EXPECT_THAT(e.what(), ::testing::HasSubstr("output \"out.pdf\""));
  }
}

TEST(OutputFile, TwoOutputsForOnePathGetTwoTemporaryNames) {
  vtps_test::TempDir dir;
  OutputFile first(dir.File("out.pdf"), "out.pdf");
  std::ofstream(first.TempPath()) << "1";
  OutputFile second(dir.File("out.pdf"), "out.pdf");
  EXPECT_NE(first.TempPath(), second.TempPath());
}

}  // namespace
