// The PDF processors on hostile input, run as the server runs them: each attack ends with
// an error naming the limit (or the damage), within a small share of the memory the attack
// aims at, writing nothing and printing nothing on standard error. The hostile files are a
// few kilobytes (processors/pdf/samples/hostile_pdf.h); the limits are set low where that keeps the
// files small.
#include <sys/resource.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "jobs/job_file.h"
#include "mapping/dict_to_tree.h"
#include "mapping/tree_to_dict.h"
#include "platform/kqtypes/kqtypes.h"
#include "platform/os/address_space.h"
#include "platform/os/child_process.h"
#include "processors/pdf/samples/hostile_pdf.h"
#include "tests/pdf_job.h"
#include "tests/pdf_test_files.h"
#include "tests/support/test_support.h"

namespace vtps_test {

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

using Environment = std::vector<std::pair<std::string, std::string>>;

// The peak resident memory a run of the processor may reach here; the attacks aim at
// gigabytes, a refused one stays near the program's own size.
constexpr long kMaxPeakKb = 300 * 1024;

// The strings of the array an answer holds under `key` + "Array".
std::vector<std::string> AnswerStrings(const KQ_TDict& answer, const std::string& key) {
  std::vector<std::string> result;
  const KQ_TDict* wrapper = answer[key + "Array"].DynamicCast<KQ_TDict>();
  const KQ_TAny* value = wrapper == nullptr ? nullptr : &(*wrapper)[key];
  if (value == nullptr)
    return result;
  if (const KQ_TString* one = value->DynamicCast<KQ_TString>())
    result.push_back(one->Text());
  if (const KQ_TArray* many = value->DynamicCast<KQ_TArray>())
    for (std::size_t i = 0; i < many->Count(); ++i)
      if (const KQ_TString* text = (*many)[i].DynamicCast<KQ_TString>())
        result.push_back(text->Text());
  return result;
}

KQ_TArray Repeated(const std::string& path, int times) {
  KQ_TArray array;
  for (int i = 0; i < times; ++i)
    array.Append(path);
  return array;
}

class PdfLimits : public ::testing::Test {
 protected:
  struct Run {
    int exitCode = -1;
    KQ_TDict answer;
    std::string standardError;
    long peakKb = 0;  // the largest resident size of any child this test waited for
  };

  void SetUp() override {
    fs::create_directory(Root());
    vtps_test::MakeTestPdfs(Root());
  }

  std::string Root() const { return dir_.File("root"); }
  std::string InRoot(const std::string& name) const { return Root() + "/" + name; }
  void Put(const std::string& name, const std::string& content) {
    vtps_test::WriteFile(InRoot(name), content);
  }

  Run RunProcessor(const std::string& program, const KQ_TDict& parameters,
                   Environment environment = {}) {
    std::string job = dir_.File("job.xml");
    WriteJobFile(DictToTree(parameters), job);
    os::ChildProcess::Options options;
    options.arguments = {"-r", "-i", job};
    options.environment = std::move(environment);
    options.environment.emplace_back("VTPS_PDF_ROOT", Root());
    options.stderrPath = dir_.File("processor.err");
    os::ChildProcess child =
        os::ChildProcess::Start(vtps_test::BuildProgram("processors/" + program), options);
    Run run;
    std::optional<int> status = child.WaitFor(std::chrono::seconds(180));
    if (!status) {
      child.Kill();
      child.WaitFor(std::chrono::seconds(10));
    }
    run.exitCode = status.value_or(-1);
    TreeToDict(ReadJobFile(job), run.answer);
    run.standardError = vtps_test::ReadFile(options.stderrPath);
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    run.peakKb = usage.ru_maxrss;
    return run;
  }

  // Runs each case and checks that it failed with its message, quickly, quietly and
  // without leaving anything in the root.
  struct Refusal {
    const char* program;
    KQ_TDict parameters;
    const char* message;
    Environment environment = {};
  };
  void ExpectRefusals(const std::vector<Refusal>& cases) {
    auto before = vtps_test::FolderSnapshot(Root());
    for (const Refusal& c : cases) {
      SCOPED_TRACE(std::string(c.program) + " " + Show(c.parameters));
      Run run = RunProcessor(c.program, c.parameters, c.environment);
      EXPECT_EQ(run.exitCode, 1) << Show(run.answer);
      EXPECT_EQ(run.answer.Count(), 1u) << Show(run.answer);
      EXPECT_THAT(Text(run.answer, "error"), HasSubstr(c.message));
      EXPECT_EQ(run.standardError, "");
      EXPECT_LT(run.peakKb, kMaxPeakKb);
      EXPECT_EQ(vtps_test::FolderSnapshot(Root()), before);
    }
  }

  vtps_test::TempDir dir_;
  vtps_test::PdfTools tools_{dir_.Path().string()};
};

TEST_F(PdfLimits, PagesAreCountedBeforeQpdfCopiesThem) {
  // A million copies of one page from a file of about 25 kB, under a /Count of 1.
  Put("bomb.pdf", pdf::samples::PageTreeBombPdf(1000, 1000));
  Put("loop.pdf", pdf::samples::PageTreeLoopPdf());
  const char* holdsMore = "its page tree holds more than 10000 pages";
  ExpectRefusals({
      {"pdf-info", Dict({{"file", "bomb.pdf"}}), holdsMore},
      {"pdf-merge", Dict({{"input", Repeated("bomb.pdf", 1)}, {"output", "m.pdf"}}), holdsMore},
      {"pdf-render", Dict({{"file", "bomb.pdf"}, {"pages", "1"}, {"output", "p%d.png"}}),
       holdsMore},
      {"pdf-info",
       Dict({{"file", "bomb.pdf"}}),
       "holds more than 50 pages",
       {{"VTPS_PDF_MAX_PAGES", "50"}}},
      {"pdf-info", Dict({{"file", "loop.pdf"}}),
       "file \"loop.pdf\" is damaged: its page tree reaches node 2 0 more than once"},
  });
}

TEST_F(PdfLimits, PageRangesAreBoundedAsTheyAreParsed) {
  std::string repeated = "1-z";
  for (int i = 1; i < 100000; ++i)
    repeated += ",1-z";
  const char* selectsMore = "selects more than 10000 pages";
  ExpectRefusals({
      {"pdf-rotate",
       Dict({{"file", "three.pdf"}, {"angle", "90"}, {"pages", repeated}, {"output", "r.pdf"}}),
       selectsMore},
      {"pdf-text", Dict({{"file", "three.pdf"}, {"pages", repeated}}), selectsMore},
      {"pdf-extract",
       Dict({{"file", "three.pdf"}, {"pages", "1-z,1-z"}, {"output", "x.pdf"}}),
       "selects more than 5 pages",
       {{"VTPS_PDF_MAX_PAGES", "5"}}},
  });

  // PdfText gives a page named twice once, as rotate, stamp and render do.
  Run text = RunProcessor("pdf-text", Dict({{"file", "three.pdf"}, {"pages", "2,1,2,2"}}));
  ASSERT_EQ(text.exitCode, 0) << Show(text.answer);
  const KQ_TDict* pageArray = text.answer["pageArray"].DynamicCast<KQ_TDict>();
  ASSERT_NE(pageArray, nullptr) << Show(text.answer);
  const KQ_TArray* pages = (*pageArray)["page"].DynamicCast<KQ_TArray>();
  ASSERT_NE(pages, nullptr) << Show(text.answer);
  EXPECT_EQ(pages->Count(), 2u);
}

TEST_F(PdfLimits, DecodedStreamsAreBounded) {
  // 64 MiB of text in one content string, about 64 kB on disk; the limit is 1 MiB.
  Put("inflating.pdf", pdf::samples::InflatingContentPdf(64LL << 20));
  Environment limit = {{"VTPS_PDF_MAX_STREAM_BYTES", "1048576"}};
  const char* message =
      "file \"inflating.pdf\": stream 4 0 decodes to more than 1048576 bytes "
      "(VTPS_PDF_MAX_STREAM_BYTES)";
  ExpectRefusals({
      {"pdf-text", Dict({{"file", "inflating.pdf"}}), message, limit},
      {"pdf-render", Dict({{"file", "inflating.pdf"}, {"output", "p%d.png"}}), message, limit},
      {"pdf-optimize", Dict({{"file", "inflating.pdf"}, {"output", "o.pdf"}}), message, limit},
      {"pdf-stamp", Dict({{"file", "three.pdf"}, {"stamp", "inflating.pdf"}, {"output", "s.pdf"}}),
       message, limit},
      // A content stream copied as it is is decoded once to see that it decodes, within the
      // same limit.
      {"pdf-merge", Dict({{"input", Repeated("inflating.pdf", 1)}, {"output", "m.pdf"}}), message,
       limit},
  });
  // Under the default limit the merge goes through.
  Run merge = RunProcessor("pdf-merge",
                           Dict({{"input", Repeated("inflating.pdf", 1)}, {"output", "m.pdf"}}));
  EXPECT_EQ(merge.exitCode, 0) << Show(merge.answer);
}

TEST_F(PdfLimits, PagesAreCopiedWithWhatTheyUseNotEveryResourceTheyList) {
  if (!os::kAddressSpaceLimitAvailable)
    GTEST_SKIP() << "this sanitizer build reserves terabytes of address space, so the "
                    "processor sets no address-space limit";
  // 65,000 forms listed, one drawn: copying them all twice took about a gigabyte.
  Put("crowded.pdf", pdf::samples::CrowdedResourcesPdf(65'000));
  Run merge =
      RunProcessor("pdf-merge", Dict({{"input", Repeated("crowded.pdf", 2)}, {"output", "m.pdf"}}),
                   {{"VTPS_PDF_MAX_MEMORY_MB", "700"}});
  ASSERT_EQ(merge.exitCode, 0) << Show(merge.answer);
  EXPECT_TRUE(tools_.Checks(InRoot("m.pdf")));
  EXPECT_EQ(tools_.PageText(InRoot("m.pdf"), 2), "Page 1");
  EXPECT_LT(std::filesystem::file_size(InRoot("m.pdf")), 100'000u);
}

TEST_F(PdfLimits, RunningOutOfMemoryNamesTheFileAndTheSetting) {
  if (!os::kAddressSpaceLimitAvailable)
    GTEST_SKIP() << "this sanitizer build reserves terabytes of address space, so the "
                    "processor sets no address-space limit";
  // A 96 MiB content string: within the stream limit, beyond 64 MB of address space.
  Put("large.pdf", pdf::samples::InflatingContentPdf(96LL << 20));
  Environment small = {{"VTPS_PDF_MAX_MEMORY_MB", "64"}};
  const char* message = "file \"large.pdf\" needs more memory than VTPS_PDF_MAX_MEMORY_MB allows";
  ExpectRefusals({
      {"pdf-optimize", Dict({{"file", "large.pdf"}, {"output", "o.pdf"}}), message, small},
      {"pdf-text", Dict({{"file", "large.pdf"}}), message, small},
      // 10000 x 10000 pixels: poppler's bitmap and its copy would not fit in 256 MB.
      {"pdf-render",
       Dict({{"file", "big.pdf"}, {"dpi", "240"}, {"output", "p%d.png"}}),
       "file \"big.pdf\" needs more memory than VTPS_PDF_MAX_MEMORY_MB allows (page 1 at 240 dpi",
       {{"VTPS_PDF_MAX_MEMORY_MB", "256"}}},
  });
  Run text = RunProcessor("pdf-text", Dict({{"file", "large.pdf"}}));
  EXPECT_EQ(text.exitCode, 0) << Text(text.answer, "error");
}

TEST_F(PdfLimits, ImagesBeyondThePixelBudgetAreRefusedBeforeDrawing) {
  Put("image.pdf", pdf::samples::HugeImagePdf(100000, 100000, 3, false));
  Put("form.pdf", pdf::samples::HugeImagePdf(100000, 100000, 3, true));
  Put("inline.pdf", pdf::samples::HugeInlineImagePdf(100000, 100000));
  Put("fits.pdf", pdf::samples::HugeImagePdf(10000, 10000, 1, true));
  const char* message = " of 100000 x 100000 pixels; at most 100 megapixels per page";
  ExpectRefusals({
      {"pdf-render", Dict({{"file", "image.pdf"}, {"dpi", "1"}, {"output", "p%d.png"}}), message},
      {"pdf-render", Dict({{"file", "form.pdf"}, {"output", "p%d.png"}}), message},
      {"pdf-render", Dict({{"file", "inline.pdf"}, {"output", "p%d.png"}}),
       "page 1 draws an inline image of 100000 x 100000 pixels"},
  });
  Run fits = RunProcessor("pdf-render", Dict({{"file", "fits.pdf"}, {"output", "p%d.png"}}));
  EXPECT_EQ(fits.exitCode, 0) << Text(fits.answer, "error");
  // Text extraction draws no image, but reads past an inline image's declared size.
  Run text = RunProcessor("pdf-text", Dict({{"file", "image.pdf"}}));
  EXPECT_EQ(text.exitCode, 0) << Text(text.answer, "error");
  ExpectRefusals({{"pdf-text", Dict({{"file", "inline.pdf"}}),
                   "page 1 draws an inline image of 100000 x 100000 pixels"}});
}

TEST_F(PdfLimits, OutputsTogetherStayWithinTheOutputBudget) {
  Put("heavy.pdf", pdf::samples::HeavyPagesPdf(1, 100'000));
  // 30 pages of their own (a file named twice is read once, its page copies sharing content).
  Put("heavy30.pdf", pdf::samples::HeavyPagesPdf(30, 100'000));
  Environment budget = {{"VTPS_PDF_MAX_OUTPUT_BYTES", "1000000"}};
  const char* passes = "the run's outputs would pass 1000000 bytes (VTPS_PDF_MAX_OUTPUT_BYTES)";
  ExpectRefusals({
      {"pdf-merge", Dict({{"input", Repeated("heavy30.pdf", 1)}, {"output", "m.pdf"}}),
       "output \"m.pdf\": ", budget},
      {"pdf-merge", Dict({{"input", Repeated("heavy30.pdf", 1)}, {"output", "m.pdf"}}), passes,
       budget},
      {"pdf-split",
       Dict({{"file", "heavy.pdf"}, {"output", "part%d.pdf"}}),
       "output \"part1.pdf\"",
       {{"VTPS_PDF_MAX_OUTPUT_BYTES", "50000"}}},
      {"pdf-render",
       Dict({{"file", "three.pdf"}, {"dpi", "150"}, {"output", "p%d.png"}}),
       "output \"p3.png\": the run's outputs would pass 40000 bytes",
       {{"VTPS_PDF_MAX_OUTPUT_BYTES", "40000"}}},
  });
  Run within = RunProcessor(
      "pdf-merge", Dict({{"input", Repeated("heavy.pdf", 5)}, {"output", "m.pdf"}}), budget);
  EXPECT_EQ(within.exitCode, 0) << Text(within.answer, "error");
  EXPECT_EQ(tools_.PageCount(InRoot("m.pdf")), 5);
}

TEST_F(PdfLimits, DataQpdfDroppedFailsTheRunAndRepairsAreReported) {
  Put("wrong-length.pdf", pdf::samples::WrongStreamLengthPdf());
  Put("repeated.pdf", pdf::samples::RepeatedPageObjectPdf());
  const char* damaged = "file \"wrong-length.pdf\" is damaged: wrong-length.pdf (object 6 0";
  ExpectRefusals({
      {"pdf-merge", Dict({{"input", Repeated("wrong-length.pdf", 1)}, {"output", "m.pdf"}}),
       damaged},
      {"pdf-text", Dict({{"file", "wrong-length.pdf"}, {"pages", "2"}}), damaged},
      {"pdf-optimize", Dict({{"file", "wrong-length.pdf"}, {"output", "o.pdf"}}), damaged},
  });
  // An input refused as damaged points to the repair.
  EXPECT_THAT(Text(RunProcessor("pdf-text", Dict({{"file", "wrong-length.pdf"}})).answer, "error"),
              ::testing::EndsWith("; PdfRepair may recover it"));

  // The repeated page object becomes a page of its own; nothing is lost, and it is said.
  Run merge = RunProcessor("pdf-merge",
                           Dict({{"input", Repeated("repeated.pdf", 1)}, {"output", "m.pdf"}}));
  ASSERT_EQ(merge.exitCode, 0) << Show(merge.answer);
  EXPECT_EQ(Text(merge.answer, "pageCount"), "4");
  EXPECT_EQ(tools_.PageText(InRoot("m.pdf"), 3), "Page 2");
  EXPECT_THAT(AnswerStrings(merge.answer, "warning"),
              ::testing::ElementsAre(HasSubstr("appears more than once in the pages tree")));
  EXPECT_EQ(merge.standardError, "");
  Run clean = RunProcessor("pdf-info", Dict({{"file", "three.pdf"}}));
  ASSERT_EQ(clean.exitCode, 0) << Show(clean.answer);
  EXPECT_TRUE(AnswerStrings(clean.answer, "warning").empty()) << Show(clean.answer);
}

TEST_F(PdfLimits, FaultsOfTheFilesBookkeepingAreReportedNotRefused) {
  // Each made from three.pdf by a change of the same length, so every offset still holds.
  std::string whole = vtps_test::ReadFile(InRoot("three.pdf"));
  auto changed = [&whole](const std::string& from, const std::string& to) {
    std::string copy = whole;
    std::size_t at = copy.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? copy : copy.replace(at, from.size(), to);
  };
  std::size_t start = whole.rfind("startxref\n") + 10;
  std::string offset = whole.substr(start, whole.find('\n', start) - start);
  struct Case {
    const char* name;
    std::string content;
    const char* warning;
    // qpdf writes a "#" in a name bare, so its outputs keep the stray "#".
    bool outputKeepsIt = false;
  };
  const Case cases[] = {
      {"before-xref.pdf",
       changed("startxref\n" + offset, "startxref\n" + std::to_string(std::stoi(offset) - 1)),
       "extraneous whitespace seen before xref"},
      {"carriage-return.pdf", changed("stream\n", "stream\r"),
       "stream keyword followed by carriage return only"},
      {"blank.pdf", changed("/FlateDecode >>\nstream\n", "/FlateDecode>>\nstream \n"),
       "stream keyword followed by extraneous whitespace"},
      {"stray-hash.pdf", changed("/Type /Font", "/Ty#e /Font"), "name with stray #", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(c.content.size(), whole.size());
    Put(c.name, c.content);
    Run info = RunProcessor("pdf-info", Dict({{"file", c.name}}));
    ASSERT_EQ(info.exitCode, 0) << Show(info.answer);
    EXPECT_EQ(Text(info.answer, "pageCount"), "3");
    // Rewritten, every page is there, and the output reads again clean and sound.
    Run optimize = RunProcessor("pdf-optimize", Dict({{"file", c.name}, {"output", "o.pdf"}}));
    ASSERT_EQ(optimize.exitCode, 0) << Show(optimize.answer);
    EXPECT_THAT(AnswerStrings(optimize.answer, "warning"),
                ::testing::Contains(HasSubstr(c.warning)));
    EXPECT_EQ(tools_.PageText(InRoot("o.pdf"), 3), "Page 3");
    Run again = RunProcessor("pdf-info", Dict({{"file", "o.pdf"}}));
    ASSERT_EQ(again.exitCode, 0) << Show(again.answer);
    EXPECT_EQ(AnswerStrings(again.answer, "warning").empty(), !c.outputKeepsIt)
        << Show(again.answer);
    EXPECT_EQ(tools_.Checks(InRoot("o.pdf")), !c.outputKeepsIt);
  }
}

TEST_F(PdfLimits, UnusableDocumentsGetClearErrors) {
  Put("empty.pdf", pdf::samples::NoPagesPdf());
  std::string huge = "1" + std::string(400, '0') + ".0";
  Put("infinite.pdf", pdf::samples::MediaBoxPdf("0 0 " + huge + " 1"));
  Put("nan.pdf", pdf::samples::MediaBoxPdf(huge + " 0 " + huge + " 1"));
  Put("trap.pdf", pdf::samples::LinearizationTrapPdf());
  const char* noSize = "page 1 has no usable size";
  ExpectRefusals({
      {"pdf-info", Dict({{"file", "empty.pdf"}}), "file \"empty.pdf\" has no pages"},
      {"pdf-text", Dict({{"file", "empty.pdf"}}), "file \"empty.pdf\" has no pages"},
      {"pdf-info", Dict({{"file", "infinite.pdf"}}), noSize},
      {"pdf-info", Dict({{"file", "nan.pdf"}}), noSize},
      {"pdf-render", Dict({{"file", "infinite.pdf"}, {"output", "p%d.png"}}), noSize},
      {"pdf-render", Dict({{"file", "nan.pdf"}, {"output", "p%d.png"}}), noSize},
      {"pdf-optimize", Dict({{"file", "trap.pdf"}, {"output", "o.pdf"}}),
       "file \"trap.pdf\" cannot be linearized ("},
  });
  Run plain = RunProcessor(
      "pdf-optimize", Dict({{"file", "trap.pdf"}, {"output", "o.pdf"}, {"linearize", "false"}}));
  EXPECT_EQ(plain.exitCode, 0) << Text(plain.answer, "error");
}

}  // namespace

}  // namespace vtps_test
