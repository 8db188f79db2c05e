// The PDF processors run as the server runs them (`pdf-x -r -i JOBFILE`) on PDFs the test
// makes, their results checked with Debian's qpdf and pdftotext where that is possible.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sstream>

#include "jobs/job_file.h"
#include "platform/kqtypes/kqtypes.h"
#include "platform/os/child_process.h"
#include "tests/pdf_job.h"
#include "tests/pdf_root_test.h"
#include "tests/pdf_test_files.h"
#include "tests/support/test_support.h"

namespace vtps_test {

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

class PdfProcessor : public vtps_test::PdfRootTest {};

TEST_F(PdfProcessor, InfoDescribesTheDocumentAndEachPage) {
  Run mixed = RunProcessor("pdf-info", Dict({{"file", "mixed.pdf"}}));
  ASSERT_EQ(mixed.exitCode, 0) << Show(mixed.answer);
  EXPECT_EQ(Text(mixed.answer, "pageCount"), std::to_string(tools_.PageCount(InRoot("mixed.pdf"))));
  EXPECT_EQ(Text(mixed.answer, "encrypted"), "false");
  EXPECT_EQ(Text(mixed.answer, "linearized"), "false");
  EXPECT_FALSE(Text(mixed.answer, "version").empty());
  KQ_TArray pages = AnswerArray(mixed.answer, "page");
  ASSERT_EQ(pages.Count(), 3u);
  struct Expected {
    const char* width;
    const char* height;
    const char* rotate;
  };
  const Expected expected[] = {{"595", "842", "0"}, {"842", "595", "90"}, {"540", "720", "0"}};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(Text(Element(pages, i), "width"), expected[i].width) << i;
    EXPECT_EQ(Text(Element(pages, i), "height"), expected[i].height) << i;
    EXPECT_EQ(Text(Element(pages, i), "rotate"), expected[i].rotate) << i;
  }

  Run info = RunProcessor("pdf-info", Dict({{"file", "info.pdf"}}));
  ASSERT_EQ(info.exitCode, 0) << Show(info.answer);
  const KQ_TDict* fields = info.answer["info"].DynamicCast<KQ_TDict>();
  ASSERT_NE(fields, nullptr) << Show(info.answer);
  EXPECT_EQ(Text(*fields, "Title"), "Quarterly report");
  EXPECT_EQ(Text(*fields, "Author"), "\xc3\x89mile Zola");

  Run locked = RunProcessor("pdf-info", Dict({{"file", "locked.pdf"}, {"password", "user-pw"}}));
  ASSERT_EQ(locked.exitCode, 0) << Show(locked.answer);
  EXPECT_EQ(Text(locked.answer, "encrypted"), "true");
  EXPECT_EQ(Text(locked.answer, "pageCount"), "3");
}

TEST_F(PdfProcessor, PageOperationsWriteWhatTheToolsRead) {
  struct Case {
    const char* program;
    KQ_TDict parameters;
    std::function<void(const KQ_TDict&)> check;
  };
  const Case cases[] = {
      {"pdf-merge",
       Dict({{"input",
              Array({"three.pdf", Dict({{"file", "mixed.pdf"}, {"pages", "2"}}),
                     Dict({{"file", "locked.pdf"}, {"password", "user-pw"}, {"pages", "1,1"}})})},
             {"output", "merged.pdf"}}),
       [&](const KQ_TDict& answer) {
         EXPECT_EQ(Text(answer, "pageCount"), "6");
         EXPECT_EQ(tools_.PageCount(InRoot("merged.pdf")), 6);
         EXPECT_TRUE(tools_.Checks(InRoot("merged.pdf")));
         EXPECT_EQ(tools_.PageText(InRoot("merged.pdf"), 4), "Landscape");
         EXPECT_EQ(tools_.PageText(InRoot("merged.pdf"), 6), "Page 1");
       }},
      {"pdf-extract", Dict({{"file", "three.pdf"}, {"pages", "z,1"}, {"output", "x.pdf"}}),
       [&](const KQ_TDict& answer) {
         EXPECT_EQ(Text(answer, "pageCount"), "2");
         EXPECT_TRUE(tools_.Checks(InRoot("x.pdf")));
         EXPECT_EQ(tools_.PageText(InRoot("x.pdf"), 1), "Page 3");
         EXPECT_EQ(tools_.PageText(InRoot("x.pdf"), 2), "Page 1");
       }},
      {"pdf-split", Dict({{"file", "three.pdf"}, {"output", "part-%d.pdf"}, {"pagesPerFile", "2"}}),
       [&](const KQ_TDict& answer) {
         KQ_TArray outputs = AnswerArray(answer, "output");
         ASSERT_EQ(outputs.Count(), 2u);
         EXPECT_EQ(outputs[1], KQ_TAny("part-2.pdf"));
         EXPECT_EQ(tools_.PageCount(InRoot("part-1.pdf")), 2);
         EXPECT_EQ(tools_.PageCount(InRoot("part-2.pdf")), 1);
         EXPECT_EQ(tools_.PageText(InRoot("part-2.pdf"), 1), "Page 3");
       }},
      {"pdf-rotate",
       Dict({{"file", "mixed.pdf"}, {"angle", "-90"}, {"pages", "2-3"}, {"output", "r.pdf"}}),
       [&](const KQ_TDict& answer) {
         EXPECT_EQ(Text(answer, "pageCount"), "3");
         EXPECT_THAT(tools_.Rotations(InRoot("r.pdf")), ::testing::ElementsAre(0, 0, 270));
       }},
      // The input is also the output: replaced only once the new file is complete.
      {"pdf-rotate", Dict({{"file", "three.pdf"}, {"angle", "180"}, {"output", "three.pdf"}}),
       [&](const KQ_TDict&) {
         EXPECT_THAT(tools_.Rotations(InRoot("three.pdf")), ::testing::ElementsAre(180, 180, 180));
         EXPECT_TRUE(tools_.Checks(InRoot("three.pdf")));
       }},
      {"pdf-encrypt",
       Dict({{"file", "info.pdf"},
             {"output", "e.pdf"},
             {"userPassword", "u"},
             {"ownerPassword", "o"},
             {"allowCopy", "false"}}),
       [&](const KQ_TDict& answer) {
         EXPECT_EQ(Text(answer, "output"), "e.pdf");
         EXPECT_TRUE(tools_.NeedsPassword(InRoot("e.pdf")));
         EXPECT_EQ(tools_.PageText(InRoot("e.pdf"), 1, "u"), "Page 1");
         std::string shown =
             vtps_test::RunTool(QPDF_PROGRAM,
                                {"--show-encryption", "--password=u", InRoot("e.pdf")},
                                dir_.Path().string())
                 .out;
         EXPECT_THAT(shown, HasSubstr("AESv3"));
         EXPECT_THAT(shown, HasSubstr("extract for any purpose: not allowed"));
       }},
      // An encrypted input stays encrypted, with the same passwords, or takes the new ones.
      {"pdf-rotate",
       Dict(
           {{"file", "locked.pdf"}, {"password", "user-pw"}, {"angle", "90"}, {"output", "r.pdf"}}),
       [&](const KQ_TDict&) {
         EXPECT_TRUE(tools_.NeedsPassword(InRoot("r.pdf")));
         EXPECT_EQ(tools_.PageText(InRoot("r.pdf"), 1, "user-pw"), "Page 1");
       }},
      {"pdf-optimize",
       Dict({{"file", "locked.pdf"}, {"password", "owner-pw"}, {"output", "o.pdf"}}),
       [&](const KQ_TDict&) {
         EXPECT_TRUE(tools_.NeedsPassword(InRoot("o.pdf")));
         EXPECT_EQ(tools_.PageText(InRoot("o.pdf"), 3, "user-pw"), "Page 3");
       }},
      {"pdf-encrypt",
       Dict({{"file", "locked.pdf"},
             {"password", "user-pw"},
             {"output", "e2.pdf"},
             {"userPassword", "u2"},
             {"ownerPassword", "o2"}}),
       [&](const KQ_TDict&) { EXPECT_EQ(tools_.PageText(InRoot("e2.pdf"), 1, "u2"), "Page 1"); }},
      {"pdf-decrypt", Dict({{"file", "locked.pdf"}, {"password", "owner-pw"}, {"output", "d.pdf"}}),
       [&](const KQ_TDict&) {
         EXPECT_FALSE(tools_.NeedsPassword(InRoot("d.pdf")));
         EXPECT_EQ(tools_.PageCount(InRoot("d.pdf")), 3);
       }},
      {"pdf-stamp",
       Dict({{"file", "three.pdf"}, {"stamp", "stamp.pdf"}, {"pages", "2"}, {"output", "s.pdf"}}),
       [&](const KQ_TDict& answer) {
         EXPECT_EQ(Text(answer, "pageCount"), "3");
         EXPECT_TRUE(tools_.Checks(InRoot("s.pdf")));
         EXPECT_THAT(tools_.PageText(InRoot("s.pdf"), 2), HasSubstr("STAMP"));
         EXPECT_THAT(tools_.PageText(InRoot("s.pdf"), 2), HasSubstr("Page 2"));
         EXPECT_EQ(tools_.PageText(InRoot("s.pdf"), 1), "Page 1");
       }},
      {"pdf-stamp",
       Dict(
           {{"file", "mixed.pdf"}, {"stamp", "stamp.pdf"}, {"under", "true"}, {"output", "u.pdf"}}),
       [&](const KQ_TDict&) {
         EXPECT_TRUE(tools_.Checks(InRoot("u.pdf")));
         for (int page = 1; page <= 3; ++page)
           EXPECT_THAT(tools_.PageText(InRoot("u.pdf"), page), HasSubstr("STAMP")) << page;
       }},
      {"pdf-optimize", Dict({{"file", "three.pdf"}, {"output", "o.pdf"}}),
       [&](const KQ_TDict& answer) {
         EXPECT_EQ(Text(answer, "bytesBefore"), std::to_string(fs::file_size(InRoot("three.pdf"))));
         EXPECT_EQ(Text(answer, "bytesAfter"), std::to_string(fs::file_size(InRoot("o.pdf"))));
         EXPECT_TRUE(tools_.Linearized(InRoot("o.pdf")));
         EXPECT_EQ(tools_.PageCount(InRoot("o.pdf")), 3);
       }},
      {"pdf-optimize", Dict({{"file", "three.pdf"}, {"output", "n.pdf"}, {"linearize", "false"}}),
       [&](const KQ_TDict&) {
         EXPECT_FALSE(tools_.Linearized(InRoot("n.pdf")));
         EXPECT_TRUE(tools_.Checks(InRoot("n.pdf")));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program);
    Run run = RunProcessor(c.program, c.parameters);
    ASSERT_EQ(run.exitCode, 0) << Show(run.answer);
    c.check(run.answer);
  }
}

TEST_F(PdfProcessor, RenderWritesPngsOfThePageSizeAtTheResolution) {
  Run run = RunProcessor(
      "pdf-render",
      Dict({{"file", "mixed.pdf"}, {"pages", "2-3"}, {"dpi", "150"}, {"output", "page-%d.png"}}));
  ASSERT_EQ(run.exitCode, 0) << Show(run.answer);
  KQ_TArray outputs = AnswerArray(run.answer, "output");
  ASSERT_EQ(outputs.Count(), 2u);
  // Page 2 is 842 x 595 points turned by 90 degrees; page 3 is cropped to 540 x 720.
  struct Expected {
    const char* file;
    int width;
    int height;
  };
  const Expected expected[] = {{"page-2.png", 1240, 1754}, {"page-3.png", 1125, 1500}};
  for (std::size_t i = 0; i < 2; ++i) {
    const KQ_TDict& output = Element(outputs, i);
    EXPECT_EQ(Text(output, "file"), expected[i].file);
    EXPECT_EQ(vtps_test::PngSize(InRoot(expected[i].file)),
              std::make_pair(expected[i].width, expected[i].height));
    EXPECT_EQ(Text(output, "width"), std::to_string(expected[i].width));
    EXPECT_EQ(Text(output, "height"), std::to_string(expected[i].height));
  }
  EXPECT_FALSE(fs::exists(InRoot("page-1.png")));
}

TEST_F(PdfProcessor, TextGivesEachSelectedPage) {
  Run run = RunProcessor(
      "pdf-text", Dict({{"file", "locked.pdf"}, {"password", "user-pw"}, {"pages", "r1,1"}}));
  ASSERT_EQ(run.exitCode, 0) << Show(run.answer);
  KQ_TArray pages = AnswerArray(run.answer, "page");
  ASSERT_EQ(pages.Count(), 2u);
  EXPECT_EQ(Text(Element(pages, 0), "number"), "3");
  EXPECT_EQ(Text(Element(pages, 0), "text"), "Page 3");
  EXPECT_EQ(Text(Element(pages, 1), "text"), "Page 1");
}

TEST_F(PdfProcessor, FailuresAnswerAnErrorExitNonZeroAndLeaveNothing) {
  struct Case {
    const char* program;
    KQ_TDict parameters;
    const char* message;
    std::vector<std::pair<std::string, std::string>> environment = {};
  };
  const Case cases[] = {
      {"pdf-info", Dict({}), "the job file holds no parameters"},
      {"pdf-info", Dict({{"password", "x"}}), "parameter \"file\" is missing"},
      {"pdf-info", Dict({{"file", "none.pdf"}}), "file \"none.pdf\" does not exist"},
      {"pdf-info", Dict({{"file", "damaged.pdf"}}), "file \"damaged.pdf\" is damaged"},
      {"pdf-text", Dict({{"file", "locked.pdf"}}),
       "file \"locked.pdf\" is encrypted; give its \"password\""},
      {"pdf-text", Dict({{"file", "locked.pdf"}, {"password", "nope"}}),
       "file \"locked.pdf\": the password is wrong"},
      {"pdf-info", Dict({{"file", "/etc/hostname"}}),
       "parameter \"file\": \"/etc/hostname\" is absolute"},
      {"pdf-merge", Dict({{"input", "three.pdf"}, {"output", "m.pdf"}}),
       "parameter \"input\" must be an array"},
      {"pdf-merge",
       Dict({{"input", Array({"three.pdf", Dict({{"file", "locked.pdf"}})})}, {"output", "m.pdf"}}),
       "file \"locked.pdf\" is encrypted"},
      {"pdf-merge",
       Dict({{"input", Array({Dict({{"file", "three.pdf"}, {"pages", "1-4"}})})},
             {"output", "m.pdf"}}),
       "parameter \"input[1].pages\": \"1-4\" is not a page range"},
      {"pdf-merge", Dict({{"input", Array({"three.pdf"})}, {"output", "none/m.pdf"}}),
       "output \"none/m.pdf\": its folder does not exist"},
      {"pdf-extract", Dict({{"file", "three.pdf"}, {"pages", "x"}, {"output", "x.pdf"}}),
       "parameter \"pages\": \"x\" is not a page range"},
      {"pdf-extract", Dict({{"file", "three.pdf"}, {"output", "x.pdf"}}),
       "parameter \"pages\" is missing"},
      {"pdf-extract",
       Dict({{"file", "three.pdf"}, {"pages", "1"}, {"output", "x.pdf"}}),
       "file \"three.pdf\" has 3 pages; this run may read at most 2 more (VTPS_PDF_MAX_PAGES)",
       {{"VTPS_PDF_MAX_PAGES", "2"}}},
      {"pdf-merge",
       Dict({{"input", Array({"three.pdf", "mixed.pdf"})}, {"output", "m.pdf"}}),
       "this run may read at most 2 more (VTPS_PDF_MAX_PAGES)",
       {{"VTPS_PDF_MAX_PAGES", "5"}}},
      {"pdf-split", Dict({{"file", "three.pdf"}, {"output", "p-%d.pdf"}, {"pagesPerFile", "0"}}),
       "parameter \"pagesPerFile\" is \"0\""},
      {"pdf-split", Dict({{"file", "three.pdf"}, {"output", "part.pdf"}}),
       "parameter \"output\": \"part.pdf\" must hold \"%d\""},
      // The first part could be written, the second cannot: neither may stay behind.
      {"pdf-split", Dict({{"file", "three.pdf"}, {"output", "parts%d/p.pdf"}}),
       "output \"parts2/p.pdf\": its folder does not exist"},
      {"pdf-split", Dict({{"file", "three.pdf"}, {"output", "../%d.pdf"}}),
       "parameter \"output\": \"../1.pdf\" leads outside VTPS_PDF_ROOT"},
      {"pdf-rotate", Dict({{"file", "three.pdf"}, {"angle", "45"}, {"output", "r.pdf"}}),
       "parameter \"angle\" is \"45\""},
      // Output and input are one file: the input stays as it was.
      {"pdf-rotate",
       Dict({{"file", "three.pdf"}, {"angle", "90"}, {"pages", "9"}, {"output", "three.pdf"}}),
       "parameter \"pages\": \"9\" is not a page range"},
      {"pdf-encrypt", Dict({{"file", "three.pdf"}, {"output", "e.pdf"}, {"userPassword", "u"}}),
       "parameter \"ownerPassword\" is missing"},
      {"pdf-decrypt", Dict({{"file", "locked.pdf"}, {"password", "x"}, {"output", "d.pdf"}}),
       "file \"locked.pdf\": the password is wrong"},
      {"pdf-stamp", Dict({{"file", "three.pdf"}, {"output", "s.pdf"}}),
       "parameter \"stamp\" is missing"},
      {"pdf-stamp", Dict({{"file", "three.pdf"}, {"stamp", "damaged.pdf"}, {"output", "s.pdf"}}),
       "file \"damaged.pdf\" is damaged"},
      {"pdf-optimize", Dict({{"file", "three.pdf"}, {"output", "o.pdf"}, {"linearize", "yes"}}),
       "parameter \"linearize\" is \"yes\""},
      {"pdf-render", Dict({{"file", "three.pdf"}, {"dpi", "601"}, {"output", "p-%d.png"}}),
       "parameter \"dpi\" is \"601\""},
      {"pdf-render", Dict({{"file", "big.pdf"}, {"dpi", "300"}, {"output", "p-%d.png"}}),
       "at most 100 megapixels per page"},
      {"pdf-render", Dict({{"file", "three.pdf"}, {"output", "../p-%d.png"}}),
       "parameter \"output\": \"../p-1.png\" leads outside VTPS_PDF_ROOT"},
      {"pdf-text", Dict({{"file", "three.pdf"}, {"pages", "0"}}),
       "parameter \"pages\": \"0\" is not a page range"},
  };
  fs::create_directory(InRoot("parts1"));
  auto before = vtps_test::FolderSnapshot(dir_.Path().string());
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.program) + ": " + c.message);
    Run run = RunProcessor(c.program, c.parameters, c.environment);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.answer.Count(), 1u) << Show(run.answer);
    EXPECT_THAT(Text(run.answer, "error"), HasSubstr(c.message));
    EXPECT_THAT(Text(run.answer, "error"), ::testing::Not(HasSubstr(Root())));
    auto after = vtps_test::FolderSnapshot(dir_.Path().string());
    after.erase(dir_.File("job.xml"));
    after.erase(dir_.File("processor.err"));
    after.erase(dir_.File("tool.out"));
    before.erase(dir_.File("job.xml"));
    EXPECT_EQ(after, before);
  }
}

// Each operation's link leads to the program its table is in, and that program answers to
// the name: a program built with another table, or a link to the wrong program, would refuse
// every job.
TEST_F(PdfProcessor, EveryOperationNameLinksToTheProgramThatRunsIt) {
  ASSERT_FALSE(vtps_test::PdfOperations().empty());
  for (const vtps_test::PdfOperation& operation : vtps_test::PdfOperations()) {
    std::string link = vtps_test::BuildProgram(std::string("processors/") + operation.name);
    EXPECT_EQ(fs::read_symlink(link).string(), operation.program) << operation.name;
    os::ChildProcess::Options options;
    options.stderrPath = dir_.File("usage.err");
    os::ChildProcess child = os::ChildProcess::Start(link, options);
    EXPECT_EQ(child.WaitFor(std::chrono::seconds(60)).value_or(-1), 2) << operation.name;
    EXPECT_EQ(vtps_test::ReadFile(options.stderrPath),
              std::string("usage: ") + operation.name + " -r -i JOBFILE\n");
  }
}

TEST_F(PdfProcessor, AWrongCommandLineWritesNothing) {
  std::string job = dir_.File("job.xml");
  vtps_test::WriteFile(job, "<file>three.pdf</file>\n");
  for (std::vector<std::string> arguments :
       {std::vector<std::string>{}, {"-r", job}, {"-i", "-r", job}}) {
    EXPECT_EQ(vtps_test::RunTool(vtps_test::BuildProgram("processors/pdf-info"), arguments,
                                 dir_.Path().string())
                  .exitCode,
              2);
  }
  for (const char* program :
       {"processors/vtps-pdf", "processors/vtps-pdf-draw", "processors/vtps-pdf-metadata"})
    EXPECT_EQ(vtps_test::RunTool(vtps_test::BuildProgram(program), {"-r", "-i", job},
                                 dir_.Path().string())
                  .exitCode,
              2)
        << program;
  EXPECT_EQ(vtps_test::ReadFile(job), "<file>three.pdf</file>\n");
}

}  // namespace

}  // namespace vtps_test
