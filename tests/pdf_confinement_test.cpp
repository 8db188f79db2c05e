// The PDF programs against a caller who tries to leave VTPS_PDF_ROOT: every path that would
// lead outside, by "..", links or patterns, is refused, and nothing outside the root is read
// or written. Beside the root lies a folder with a secret PDF and a file that must not change.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "jobs/job_file.h"
#include "mapping/dict_to_tree.h"
#include "platform/os/child_process.h"
#include "tests/pdf_job.h"
#include "tests/pdf_test_files.h"
#include "tests/support/test_support.h"

namespace vtps_test {

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

void WriteJobFileFor(const KQ_TDict& parameters, const std::string& path) {
  WriteJobFile(DictToTree(parameters), path);
}

class PdfConfinement : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(Root());
    fs::create_directories(Outside());
    vtps_test::MakeTestPdfs(Root());
    fs::copy_file(InRoot("info.pdf"), Outside() + "/secret.pdf");
    fs::copy_file(InRoot("info.pdf"), Outside() + "/target.pdf");
    fs::create_directory_symlink(Outside(), InRoot("out_link"));
    for (const char* folder : {"x1", "x2", "x3"})
      fs::create_directory(InRoot(folder));
  }

  std::string Root() const { return dir_.File("root"); }
  std::string Outside() const { return dir_.File("outside"); }
  std::string InRoot(const std::string& name) const { return Root() + "/" + name; }

  // Runs `program` with VTPS_PDF_ROOT set to the root.
  vtps_test::PdfJobRun Run(const std::string& program, const KQ_TDict& parameters) {
    return RunWith(program, parameters, {{"VTPS_PDF_ROOT", Root()}});
  }

  vtps_test::PdfJobRun RunWith(
      const std::string& program, const KQ_TDict& parameters,
      const std::vector<std::pair<std::string, std::string>>& environment) {
    return vtps_test::RunPdfProgram(program, parameters, dir_.File("job.xml"),
                                    dir_.File("processor.err"), environment);
  }

  vtps_test::TempDir dir_;
};

TEST_F(PdfConfinement, NoPathLeadsOutOfTheRoot) {
  struct Case {
    const char* program;
    KQ_TDict parameters;
    const char* message;
  };
  const Case cases[] = {
      // A missing folder, then "..", then a link out: the kernel walks real folders.
      {"pdf-info", Dict({{"file", "nx/../out_link/secret.pdf"}}),
       "file \"nx/../out_link/secret.pdf\" does not exist"},
      {"pdf-info", Dict({{"file", "x1/../out_link/secret.pdf"}}),
       "\"x1/../out_link/secret.pdf\" leads outside VTPS_PDF_ROOT"},
      {"pdf-text", Dict({{"file", "out_link/secret.pdf"}}), "leads outside VTPS_PDF_ROOT"},
      {"pdf-merge",
       Dict({{"input", Array({"three.pdf"})}, {"output", "nx/../out_link/target.pdf"}}),
       "output \"nx/../out_link/target.pdf\": its folder does not exist"},
      {"pdf-merge",
       Dict({{"input", Array({"three.pdf"})}, {"output", "x1/../out_link/target.pdf"}}),
       "leads outside VTPS_PDF_ROOT"},
      {"pdf-split", Dict({{"file", "three.pdf"}, {"output", "x%d/../out_link/S.pdf"}}),
       "leads outside VTPS_PDF_ROOT"},
      {"pdf-render", Dict({{"file", "three.pdf"}, {"output", "x%d/../out_link/P.png"}}),
       "leads outside VTPS_PDF_ROOT"},
      {"pdf-stamp",
       Dict({{"file", "three.pdf"}, {"stamp", "x2/../../outside/secret.pdf"}, {"output", "s.pdf"}}),
       "leads outside VTPS_PDF_ROOT"},
  };
  auto outside = vtps_test::FolderSnapshot(Outside());
  auto root = vtps_test::FolderSnapshot(Root());
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.program) + " " + Show(c.parameters));
    vtps_test::PdfJobRun run = Run(c.program, c.parameters);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_THAT(Text(run.answer, "error"), HasSubstr(c.message));
    EXPECT_EQ(run.answer.Count(), 1u) << Show(run.answer);
    EXPECT_EQ(vtps_test::FolderSnapshot(Outside()), outside);
    EXPECT_EQ(vtps_test::FolderSnapshot(Root()), root);
  }
}

TEST_F(PdfConfinement, PatternPartsThatAreOneFileOrAnInputAreRefusedBeforeWriting) {
  fs::copy_file(InRoot("three.pdf"), InRoot("p-1.pdf"));
  struct Case {
    const char* program;
    KQ_TDict parameters;
    const char* message;
  };
  const Case cases[] = {
      {"pdf-split", Dict({{"file", "three.pdf"}, {"output", "x%d/../part.pdf"}}),
       "\"x2/../part.pdf\" and \"x1/../part.pdf\" name the same file"},
      {"pdf-render", Dict({{"file", "three.pdf"}, {"output", "x%d/../page.png"}}),
       "name the same file"},
      {"pdf-render", Dict({{"file", "p-1.pdf"}, {"pages", "1"}, {"output", "p-%d.pdf"}}),
       "\"p-1.pdf\" would replace the input \"p-1.pdf\""},
      {"pdf-split", Dict({{"file", "x1/../three.pdf"}, {"output", "three%d.pdf"}}), "(accepted)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.program) + " " + Show(c.parameters));
    auto before = vtps_test::FolderSnapshot(Root());
    vtps_test::PdfJobRun run = Run(c.program, c.parameters);
    if (std::string(c.message) == "(accepted)") {
      EXPECT_EQ(run.exitCode, 0) << Show(run.answer);
      continue;
    }
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_THAT(Text(run.answer, "error"), HasSubstr(c.message));
    EXPECT_EQ(vtps_test::FolderSnapshot(Root()), before);
  }
}

TEST_F(PdfConfinement, WithoutARootOnlyTrustedCallersGetAnything) {
  // Unset, nothing is read or written: here the output would have replaced a program.
  std::string program = dir_.File("pdf-info");
  vtps_test::WriteFile(program, "a program");
  vtps_test::PdfJobRun refused = RunWith(
      "pdf-merge", Dict({{"input", Array({InRoot("three.pdf")})}, {"output", program}}), {});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_THAT(Text(refused.answer, "error"), HasSubstr("VTPS_PDF_ROOT is not set"));
  EXPECT_EQ(vtps_test::ReadFile(program), "a program");

  vtps_test::PdfJobRun trusted = RunWith("pdf-info", Dict({{"file", Outside() + "/secret.pdf"}}),
                                         {{"VTPS_PDF_UNCONFINED", "1"}});
  EXPECT_EQ(trusted.exitCode, 0) << Show(trusted.answer);
  EXPECT_EQ(Text(trusted.answer, "pageCount"), "1");
}

TEST_F(PdfConfinement, ARunKilledWhileWritingLeavesNoFileBehind) {
  // Enough inputs that the run is still reading them, its output already open, when it is
  // killed.
  KQ_TArray inputs;
  for (int i = 0; i < 400; ++i)
    inputs.Append(KQ_TAny("three.pdf"));
  std::string job = dir_.File("job.xml");
  vtps_test::WriteFile(job, "");
  WriteJobFileFor(Dict({{"input", inputs}, {"output", "merged.pdf"}}), job);
  auto before = vtps_test::FolderSnapshot(Root());
  os::ChildProcess::Options options;
  options.arguments = {"-r", "-i", job};
  options.environment = {{"VTPS_PDF_ROOT", Root()}};
  os::ChildProcess child =
      os::ChildProcess::Start(vtps_test::BuildProgram("processors/pdf-merge"), options);
  // An unnamed file shows in the program's descriptors as "<folder>/#<inode> (deleted)".
  std::string descriptors = "/proc/" + std::to_string(child.Id()) + "/fd";
  bool writing = vtps_test::WaitUntil([&] {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(descriptors, error)) {
      std::string target = fs::read_symlink(entry.path(), error).string();
      if (target.starts_with(Root() + "/#"))
        return true;
    }
    return false;
  });
  child.Kill();
  child.WaitFor(std::chrono::seconds(20));
  ASSERT_TRUE(writing) << "the run ended before its output was seen open";
  EXPECT_EQ(vtps_test::FolderSnapshot(Root()), before);
}

TEST_F(PdfConfinement, APipeInTheRootIsRefusedWithoutWaitingOnIt) {
  ASSERT_EQ(::mkfifo(InRoot("pipe.pdf").c_str(), 0600), 0);
  vtps_test::PdfJobRun run = Run("pdf-info", Dict({{"file", "pipe.pdf"}}));
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_THAT(Text(run.answer, "error"), HasSubstr("file \"pipe.pdf\" is not a file"));
}

TEST_F(PdfConfinement, AKernelThatCannotConfinePathsStopsTheRunBeforeAnyWork) {
  std::string job = dir_.File("job.xml");
  vtps_test::PdfJobRun run = vtps_test::RunPdfProgram(
      "pdf-merge", Dict({{"input", Array({"three.pdf"})}, {"output", "m.pdf"}}), job,
      dir_.File("processor.err"), {{"VTPS_PDF_ROOT", Root()}});
  ASSERT_EQ(run.exitCode, 0) << Show(run.answer);
  fs::remove(InRoot("m.pdf"));

  // The same job with openat2 taken away.
  os::ChildProcess::Options options;
  options.arguments = {vtps_test::BuildProgram("processors/pdf-merge"), "-r", "-i", job};
  options.environment = {{"VTPS_PDF_ROOT", Root()}};
  vtps_test::WriteFile(job,
                       "<inputArray><input>three.pdf</input></inputArray>\n"
                       "<output>m.pdf</output>\n");
  os::ChildProcess child =
      os::ChildProcess::Start(vtps_test::BuildProgram("tests/support/without-openat2"), options);
  EXPECT_EQ(child.WaitFor(std::chrono::seconds(60)).value_or(-1), 1);
  EXPECT_THAT(vtps_test::ReadFile(job), HasSubstr("the kernel lacks openat2"));
  EXPECT_FALSE(fs::exists(InRoot("m.pdf")));
}

}  // namespace

}  // namespace vtps_test
