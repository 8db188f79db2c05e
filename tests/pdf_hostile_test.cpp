// The flatten, metadata, watermark, page-number, attachment, bookmark, from-images, compress,
// repair and drawing operations on hostile input, run as the server runs them: structures a
// file multiplies are walked once, drawing and decoding stay within budgets named in their
// errors, text added to a page cannot be hidden by the page, and what is written (metadata,
// answers, content streams) stays readable. The hostile files are generated
// (processors/pdf/samples/hostile_pdf.h); limits are set low where that keeps them small.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "jobs/job_file.h"
#include "mapping/dict_to_tree.h"
#include "mapping/tree_to_dict.h"
#include "platform/os/child_process.h"
#include "processors/pdf/samples/hostile_pdf.h"
#include "tests/pdf_feature_files.h"
#include "tests/pdf_job.h"
#include "tests/pdf_root_test.h"
#include "tests/pdf_test_files.h"
#include "tests/support/test_support.h"

namespace vtps_test {

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

using Environment = std::vector<std::pair<std::string, std::string>>;

class PdfHostile : public PdfRootTest {
 protected:
  void SetUp() override {
    PdfRootTest::SetUp();
    MakeFeaturePdfs(Root());
  }

  void Put(const std::string& name, const std::string& content) {
    WriteFile(InRoot(name), content);
  }

  // Runs a job that must fail: the error holds `error`, nothing else is answered and the
  // root is left as it was.
  void ExpectRefused(const std::string& program, const KQ_TDict& parameters,
                     const std::string& error, const Environment& environment = {}) {
    SCOPED_TRACE(program + " " + Show(parameters));
    auto before = FolderSnapshot(Root());
    Run run = RunProcessor(program, parameters, environment);
    EXPECT_EQ(run.exitCode, 1) << Show(run.answer);
    EXPECT_THAT(Text(run.answer, "error"), HasSubstr(error));
    EXPECT_EQ(run.answer.Count(), 1u) << Show(run.answer);
    EXPECT_TRUE(FolderSnapshot(Root()) == before) << "the run changed the root";
  }

  // Whether the job file the last run answered in is XML a strict parser reads. A job file
  // holds its elements without a root element, so they are read inside one.
  bool AnswerIsXml() {
    std::string job = ReadFile(dir_.File("job.xml"));
    std::size_t declarationEnd = job.starts_with("<?xml") ? job.find("?>") + 2 : 0;
    WriteFile(dir_.File("answer.xml"), job.substr(0, declarationEnd) + "<answer>" +
                                           job.substr(declarationEnd) + "</answer>\n");
    return RunTool(XMLLINT_PROGRAM, {"--noout", dir_.File("answer.xml")}, dir_.Path().string())
               .exitCode == 0;
  }

  // Runs `program` under `prlimit --nofile=N:N`, as a server with a low descriptor limit would.
  Run RunWithDescriptorLimit(const std::string& program, const KQ_TDict& parameters, int limit) {
    std::string job = dir_.File("job.xml");
    WriteJobFile(DictToTree(parameters), job);
    os::ChildProcess::Options options;
    std::string nofile = "--nofile=" + std::to_string(limit) + ":" + std::to_string(limit);
    options.arguments = {nofile, "--", BuildProgram("processors/" + program), "-r", "-i", job};
    options.environment = {{"VTPS_PDF_ROOT", Root()}};
    options.stderrPath = dir_.File("processor.err");
    os::ChildProcess child = os::ChildProcess::Start(PRLIMIT_PROGRAM, options);
    Run run;
    run.exitCode = child.WaitFor(std::chrono::seconds(180)).value_or(-1);
    TreeToDict(ReadJobFile(job), run.answer);
    return run;
  }

  // Page 1 of `pdf` (in the root) drawn in grey at 36 dpi by pdftoppm, as PGM bytes.
  std::string Drawn(const std::string& pdf) {
    std::string base = dir_.File("drawn");
    RunTool(PDFTOPPM_PROGRAM,
            {"-gray", "-r", "36", "-f", "1", "-l", "1", "-singlefile", InRoot(pdf), base},
            dir_.Path().string());
    std::string pixels = ReadFile(base + ".pgm");
    fs::remove(base + ".pgm");
    return pixels;
  }
};

TEST_F(PdfHostile, MetadataRefusesValuesXmlCannotCarryAndWritesInfoAndXmpAlike) {
  const char* values[] = {
      "a\xEF\xBF\xBE"
      "b",
      "a\xEF\xBF\xBF"
      "b",
      "a\xED\xA0\x80"
      "b",
      "a\xFF"
      "b",
      "A\xC0\xAF"
      "B",
      "a\xEF\xB7\x90"
      "b"};
  for (const char* value : values)
    ExpectRefused(
        "pdf-metadata",
        Dict({{"file", "xmp.pdf"}, {"set", Dict({{"Title", value}})}, {"output", "o.pdf"}}),
        "parameter \"set.Title\"");

  // A value of any other characters is written to both from the same text, and the packet
  // written reads again.
  std::string title =
      "\xC3\x9C"
      "ber \xE2\x82\xAC 5 \xF0\x9F\x93\x84";
  Run set = RunProcessor(
      "pdf-metadata",
      Dict({{"file", "xmp.pdf"}, {"set", Dict({{"Title", title.c_str()}})}, {"output", "o.pdf"}}));
  ASSERT_EQ(set.exitCode, 0) << Show(set.answer);
  Run read = RunProcessor("pdf-metadata", Dict({{"file", "o.pdf"}}));
  ASSERT_EQ(read.exitCode, 0) << Show(read.answer);
  EXPECT_FALSE((read.answer.Find("xmpError") != nullptr)) << Show(read.answer);
  const KQ_TDict* info = read.answer["info"].DynamicCast<KQ_TDict>();
  const KQ_TDict* xmp = read.answer["xmp"].DynamicCast<KQ_TDict>();
  ASSERT_TRUE(info != nullptr && xmp != nullptr) << Show(read.answer);
  EXPECT_EQ(Text(*info, "Title"), title);
  EXPECT_EQ(Text(*xmp, "title"), title);
}

TEST_F(PdfHostile, XmpMarkupIsCountedBeforeParsing) {
  Put("attributes.pdf",
      pdf::samples::XmpPacketPdf(pdf::samples::XmpMarkupBombPacket(10001, false)));
  Put("namespaces.pdf", pdf::samples::XmpPacketPdf(pdf::samples::XmpMarkupBombPacket(10001, true)));
  Put("fits.pdf", pdf::samples::XmpPacketPdf(pdf::samples::XmpMarkupBombPacket(5000, true)));
  for (const char* file : {"attributes.pdf", "namespaces.pdf"}) {
    Run read = RunProcessor("pdf-metadata", Dict({{"file", file}}));
    ASSERT_EQ(read.exitCode, 0) << Show(read.answer);
    EXPECT_THAT(Text(read.answer, "xmpError"), HasSubstr("more than 10000")) << file;
    ExpectRefused("pdf-metadata",
                  Dict({{"file", file}, {"set", Dict({{"Title", "t"}})}, {"output", "o.pdf"}}),
                  "more than 10000");
  }
  Run fits = RunProcessor(
      "pdf-metadata",
      Dict({{"file", "fits.pdf"}, {"set", Dict({{"Title", "t"}})}, {"output", "o.pdf"}}));
  ASSERT_EQ(fits.exitCode, 0) << Show(fits.answer);
  const KQ_TDict* xmp = fits.answer["xmp"].DynamicCast<KQ_TDict>();
  ASSERT_NE(xmp, nullptr) << Show(fits.answer);
  EXPECT_EQ(Text(*xmp, "title"), "t");
}

TEST_F(PdfHostile, AnEmbeddedFileIsDecodedOncePerRun) {
  // 1000 names of one stream inflating to 16 MiB: 16 GiB if each name decoded it again.
  Put("shared.pdf", pdf::samples::SharedAttachmentPdf(1000, 16LL << 20));
  Environment budget = {{"VTPS_PDF_MAX_DECODED_BYTES", std::to_string(64LL << 20)}};
  Run list = RunProcessor("pdf-attachments", Dict({{"file", "shared.pdf"}}), budget);
  ASSERT_EQ(list.exitCode, 0) << Show(list.answer);
  EXPECT_EQ(Text(list.answer, "count"), "1000");
  KQ_TArray attachments = AnswerArray(list.answer, "attachment");
  ASSERT_EQ(attachments.Count(), 1000u);
  EXPECT_EQ(Text(Element(attachments, 999), "size"), std::to_string(16LL << 20));

  // Extracted, each name gets its own copy of what was decoded once.
  Put("small.pdf", pdf::samples::SharedAttachmentPdf(50, 1 << 20));
  fs::create_directory(InRoot("out"));
  Run extract = RunProcessor("pdf-attachments", Dict({{"file", "small.pdf"}, {"extract", "out"}}),
                             {{"VTPS_PDF_MAX_DECODED_BYTES", std::to_string(4 << 20)}});
  ASSERT_EQ(extract.exitCode, 0) << Show(extract.answer);
  EXPECT_EQ(Text(extract.answer, "count"), "50");
  EXPECT_EQ(fs::file_size(InRoot("out/data (50).txt")), 1u << 20);
}

TEST_F(PdfHostile, NamedDestinationsAreLookedUpInOneIndex) {
  // 2000 bookmarks whose destinations sit at the end of a chain of 50,000 name-tree nodes:
  // looked up from the root each time, that is 10^8 nodes read.
  Put("chain.pdf", pdf::samples::DestinationChainPdf(50000, 2000));
  Run read = RunProcessor("pdf-bookmarks", Dict({{"file", "chain.pdf"}}));
  ASSERT_EQ(read.exitCode, 0) << Show(read.answer);
  EXPECT_EQ(Text(read.answer, "count"), "2000");
  KQ_TArray bookmarks = AnswerArray(read.answer, "bookmark");
  ASSERT_EQ(bookmarks.Count(), 2000u);
  EXPECT_EQ(Text(Element(bookmarks, 0), "page"), "1");
  EXPECT_EQ(Text(Element(bookmarks, 1999), "page"), "1");
}

TEST_F(PdfHostile, FlattenDrawsAnAnnotationListedManyTimesOnce) {
  Put("repeated.pdf", pdf::samples::RepeatedAnnotationPdf(20000));
  Run flat = RunProcessor("pdf-flatten", Dict({{"file", "repeated.pdf"}, {"output", "flat.pdf"}}));
  ASSERT_EQ(flat.exitCode, 0) << Show(flat.answer);
  EXPECT_EQ(Text(flat.answer, "annotations"), "1");
  EXPECT_TRUE(tools_.Checks(InRoot("flat.pdf")));
  EXPECT_LT(fs::file_size(InRoot("flat.pdf")), 10000u);
}

TEST_F(PdfHostile, FlattenWritesOnlyBoundedNumbers) {
  Put("tiny.pdf", pdf::samples::TinyBoxAnnotationPdf());
  Run flat = RunProcessor("pdf-flatten", Dict({{"file", "tiny.pdf"}, {"output", "flat.pdf"}}));
  ASSERT_EQ(flat.exitCode, 0) << Show(flat.answer);
  EXPECT_TRUE(tools_.Checks(InRoot("flat.pdf")));
  // The appearance that cannot be placed stays an annotation, and the answer says so.
  EXPECT_EQ(Text(flat.answer, "annotations"), "0");
  EXPECT_THAT(Show(flat.answer), HasSubstr("cannot be placed"));
  Run optimize = RunProcessor("pdf-optimize", Dict({{"file", "flat.pdf"}, {"output", "o.pdf"}}));
  EXPECT_EQ(optimize.exitCode, 0) << Show(optimize.answer);
}

TEST_F(PdfHostile, DrawingIsBoundedAsDrawnNotAsStored) {
  // 10^4 draws of the last form from a file of about a kilobyte.
  Put("chain.pdf", pdf::samples::FormChainPdf(4, 10));
  Environment low = {{"VTPS_PDF_MAX_PAGE_OPERATORS", "20000"}};
  ExpectRefused("pdf-text", Dict({{"file", "chain.pdf"}}), "VTPS_PDF_MAX_PAGE_OPERATORS", low);
  ExpectRefused("pdf-render", Dict({{"file", "chain.pdf"}, {"output", "p%d.png"}}),
                "file \"chain.pdf\": page 1 draws more than 20000 operators", low);
  // With the defaults it is drawn: 10^4 forms of text count 1.2 million operators.
  Run fits = RunProcessor("pdf-text", Dict({{"file", "chain.pdf"}}));
  EXPECT_EQ(fits.exitCode, 0) << Show(fits.answer);
  // The run's budget bounds many pages that each fit.
  Put("chains.pdf", pdf::samples::FormChainPdf(3, 10));
  ExpectRefused("pdf-text", Dict({{"file", "chains.pdf"}, {"pages", "1,1"}}),
                "VTPS_PDF_MAX_RUN_OPERATORS", {{"VTPS_PDF_MAX_RUN_OPERATORS", "1000"}});
}

TEST_F(PdfHostile, ImageSizesAreReadFromTheImageDataToo) {
  using pdf::samples::ImageCoding;
  struct Case {
    ImageCoding coding;
    const char* name;
  };
  for (Case c : {Case{ImageCoding::kJbig2, "jbig2.pdf"}, Case{ImageCoding::kJpx, "jpx.pdf"},
                 Case{ImageCoding::kJpeg, "jpeg.pdf"}}) {
    Put(c.name, pdf::samples::LyingImagePdf(c.coding, 20000, 20000));
    ExpectRefused("pdf-render", Dict({{"file", c.name}, {"dpi", "10"}, {"output", "p%d.png"}}),
                  "draws image 5 0 of 20000 x 20000 pixels");
  }
  // Data that declares what the dictionary says draws.
  Put("honest.pdf", pdf::samples::LyingImagePdf(ImageCoding::kJpeg, 10, 10));
  Run honest = RunProcessor("pdf-render", Dict({{"file", "honest.pdf"}, {"output", "p%d.png"}}));
  EXPECT_EQ(honest.exitCode, 0) << Show(honest.answer);
}

TEST_F(PdfHostile, DecodingIsBoundedForTheWholeRun) {
  // Eight pages each inflating to 32 MiB through two Flate filters: a few kilobytes.
  Put("wide.pdf", pdf::samples::InflatingPagesPdf(8, 32LL << 20, true));
  Environment budget = {{"VTPS_PDF_MAX_DECODED_BYTES", std::to_string(128LL << 20)}};
  const char* message =
      "file \"wide.pdf\": the run's streams would decode to more than "
      "134217728 bytes (VTPS_PDF_MAX_DECODED_BYTES)";
  ExpectRefused("pdf-compress", Dict({{"file", "wide.pdf"}, {"output", "c.pdf"}}), message, budget);
  ExpectRefused("pdf-optimize", Dict({{"file", "wide.pdf"}, {"output", "o.pdf"}}), message, budget);
  ExpectRefused("pdf-text", Dict({{"file", "wide.pdf"}}), message, budget);
  Run fits = RunProcessor("pdf-text", Dict({{"file", "wide.pdf"}, {"pages", "1-3"}}), budget);
  EXPECT_EQ(fits.exitCode, 0) << Show(fits.answer);
}

TEST_F(PdfHostile, AddedTextCannotBeHiddenByThePage) {
  for (const pdf::samples::HidingTrick& trick : pdf::samples::HidingTricks()) {
    SCOPED_TRACE(trick.name);
    std::string name = trick.name + ".pdf";
    Put(name, pdf::samples::HidingPagePdf(trick));
    std::string plain = Drawn(name);
    ASSERT_FALSE(plain.empty());
    struct Job {
      const char* program;
      KQ_TDict parameters;
      const char* text;
    };
    const Job jobs[] = {
        {"pdf-watermark", Dict({{"file", name}, {"text", "HIDDENMARK"}, {"output", "w.pdf"}}),
         "HIDDENMARK"},
        {"pdf-page-numbers",
         Dict({{"file", name}, {"pattern", "Folio {n}"}, {"fontSize", "30"}, {"output", "w.pdf"}}),
         "Folio 1"},
        {"pdf-stamp", Dict({{"file", name}, {"stamp", "stamp.pdf"}, {"output", "w.pdf"}}), "STAMP"},
    };
    for (const Job& job : jobs) {
      SCOPED_TRACE(job.program);
      Run run = RunProcessor(job.program, job.parameters);
      ASSERT_EQ(run.exitCode, 0) << Show(run.answer);
      EXPECT_THAT(tools_.PageText(InRoot("w.pdf"), 1), HasSubstr(job.text));
      EXPECT_NE(Drawn("w.pdf"), plain) << "no pixel changed";
      EXPECT_TRUE(tools_.Checks(InRoot("w.pdf")));
    }
  }
}

TEST_F(PdfHostile, ExtractionStoppedByTheOutputBudgetSaysSo) {
  // 300 files of 9 bytes or so.
  Put("many.pdf", pdf::samples::ManyAttachmentsPdf(300));
  fs::create_directory(InRoot("out"));
  ExpectRefused("pdf-attachments", Dict({{"file", "many.pdf"}, {"extract", "out"}}),
                "the run's outputs would pass 1024 bytes (VTPS_PDF_MAX_OUTPUT_BYTES)",
                {{"VTPS_PDF_MAX_OUTPUT_BYTES", "1024"}});
}

TEST_F(PdfHostile, ManyFilesUnderALowDescriptorLimit) {
  // Every extracted file is closed once written, so 300 fit under a limit of 64.
  Put("many.pdf", pdf::samples::ManyAttachmentsPdf(300));
  fs::create_directory(InRoot("out"));
  Run extract = RunWithDescriptorLimit("pdf-attachments",
                                       Dict({{"file", "many.pdf"}, {"extract", "out"}}), 64);
  ASSERT_EQ(extract.exitCode, 0) << Show(extract.answer);
  EXPECT_EQ(Text(extract.answer, "count"), "300");
  EXPECT_EQ(ReadFile(InRoot("out/f00299.txt")), "file 299\n");
  std::size_t files = 0;
  for (const auto& entry : fs::directory_iterator(InRoot("out")))
    files += entry.path().filename().string().starts_with(".") ? 1000 : 1;
  EXPECT_EQ(files, 300u);

  // Images stay open until the document is written: a run needing more says so.
  WriteFile(InRoot("ok.jpg"), pdf::samples::JpegWithoutTables(true, true));
  KQ_TArray jpegs;
  for (int i = 0; i < 100; ++i)
    jpegs.Append("ok.jpg");
  Run many =
      RunWithDescriptorLimit("pdf-from-images", Dict({{"images", jpegs}, {"output", "i.pdf"}}), 64);
  EXPECT_EQ(many.exitCode, 1) << Show(many.answer);
  EXPECT_THAT(Text(many.answer, "error"), HasSubstr("open files"));
  EXPECT_THAT(Text(many.answer, "error"), HasSubstr("64"));
  EXPECT_THAT(Text(many.answer, "error"), Not(HasSubstr("neither")));
  EXPECT_FALSE(fs::exists(InRoot("i.pdf")));
}

TEST_F(PdfHostile, AnXmpPacketPastItsLimitIsReportedWithoutFalseWarnings) {
  Put("large-xmp.pdf", pdf::samples::LargeXmpPdf(5LL << 20));
  Run read = RunProcessor("pdf-metadata", Dict({{"file", "large-xmp.pdf"}}));
  ASSERT_EQ(read.exitCode, 0) << Show(read.answer);
  EXPECT_THAT(Text(read.answer, "xmpError"), HasSubstr("more than 4194304 bytes"));
  EXPECT_FALSE((read.answer.Find("warningArray") != nullptr)) << Show(read.answer);
}

TEST_F(PdfHostile, AnswersNeverCarryCharactersXmlForbids) {
  Put("forbidden.pdf", pdf::samples::XmlForbiddenTextPdf());
  for (const char* program : {"pdf-info", "pdf-metadata", "pdf-bookmarks"}) {
    SCOPED_TRACE(program);
    Run run = RunProcessor(program, Dict({{"file", "forbidden.pdf"}}));
    ASSERT_EQ(run.exitCode, 0) << Show(run.answer);
    EXPECT_TRUE(AnswerIsXml());
    EXPECT_THAT(Show(run.answer), HasSubstr("characters XML cannot carry"));
  }
  Run bookmarks = RunProcessor("pdf-bookmarks", Dict({{"file", "forbidden.pdf"}}));
  EXPECT_EQ(Text(Element(AnswerArray(bookmarks.answer, "bookmark"), 0), "title"),
            "A\xEF\xBF\xBD"
            "B");
}

TEST_F(PdfHostile, FromImagesRefusesJpegDataWithoutItsTables) {
  WriteFile(InRoot("no-dqt.jpg"), pdf::samples::JpegWithoutTables(false, true));
  WriteFile(InRoot("no-dht.jpg"), pdf::samples::JpegWithoutTables(true, false));
  WriteFile(InRoot("whole.jpg"), pdf::samples::JpegWithoutTables(true, true));
  ExpectRefused("pdf-from-images", Dict({{"images", Array({"no-dqt.jpg"})}, {"output", "i.pdf"}}),
                "file \"no-dqt.jpg\" is not a usable JPEG image (it has no quantisation table");
  ExpectRefused("pdf-from-images", Dict({{"images", Array({"no-dht.jpg"})}, {"output", "i.pdf"}}),
                "file \"no-dht.jpg\" is not a usable JPEG image (it has no Huffman table");
  Run whole = RunProcessor("pdf-from-images",
                           Dict({{"images", Array({"whole.jpg"})}, {"output", "i.pdf"}}));
  ASSERT_EQ(whole.exitCode, 0) << Show(whole.answer);
  EXPECT_TRUE(tools_.Checks(InRoot("i.pdf")));
}

TEST_F(PdfHostile, RepairKeepsTheFirstProblemsAndTheirCount) {
  // Every stream's length is wrong: three problems each.
  Put("lengths.pdf", pdf::samples::WrongLengthStreamsPdf(500));
  Run repair = RunProcessor("pdf-repair", Dict({{"file", "lengths.pdf"}, {"output", "r.pdf"}}));
  ASSERT_EQ(repair.exitCode, 0) << Show(repair.answer);
  EXPECT_EQ(AnswerArray(repair.answer, "problem").Count(), 1000u);
  EXPECT_EQ(Text(repair.answer, "problemCount"), "1500");
  EXPECT_TRUE(tools_.Checks(InRoot("r.pdf")));
}

TEST_F(PdfHostile, RepairKeepsWhatAContentStreamDecodesBeforeItsDamage) {
  Put("damaged.pdf", pdf::samples::DamagedContentPdf());
  ExpectRefused("pdf-text", Dict({{"file", "damaged.pdf"}}), "is damaged");
  Run repair = RunProcessor("pdf-repair", Dict({{"file", "damaged.pdf"}, {"output", "r.pdf"}}));
  ASSERT_EQ(repair.exitCode, 0) << Show(repair.answer);
  EXPECT_EQ(Text(repair.answer, "repaired"), "true");
  EXPECT_THAT(Show(repair.answer),
              HasSubstr("page 1: its content stream 4 0 cannot be decoded to its end; the "));
  // The repaired file is read without damage, and shows the lines before it.
  Run text = RunProcessor("pdf-text", Dict({{"file", "r.pdf"}}));
  ASSERT_EQ(text.exitCode, 0) << Show(text.answer);
  EXPECT_THAT(Show(text.answer), HasSubstr("Line 1450"));
}

TEST_F(PdfHostile, AnObjectNothingRefersToIsNoDamageAnObjectInUseIs) {
  // A stale cross-reference entry pointing at offset 0: qpdf's writer reads every listed
  // object, so every rewrite refused a file readers show whole.
  Put("stale.pdf", pdf::samples::ObjectAtOffsetZeroPdf(false));
  Put("broken.pdf", pdf::samples::ObjectAtOffsetZeroPdf(true));
  struct Case {
    const char* program;
    KQ_TDict extra;
  } cases[] = {
      {"pdf-optimize", Dict({})},
      // Not smaller, the input would be copied as it is, stale entry and all.
      {"pdf-compress", Dict({{"allowLarger", "true"}})},
      {"pdf-flatten", Dict({})},
      {"pdf-rotate", Dict({{"angle", "90"}})},
      {"pdf-watermark", Dict({{"text", "W"}})},
      {"pdf-metadata", Dict({{"set", Dict({{"Title", "T"}})}})},
  };
  for (const Case& test : cases) {
    KQ_TDict parameters = test.extra;
    parameters["file"] = "stale.pdf";
    parameters["output"] = "o.pdf";
    Run run = RunProcessor(test.program, parameters);
    ASSERT_EQ(run.exitCode, 0) << test.program << ": " << Show(run.answer);
    EXPECT_THAT(Show(run.answer),
                HasSubstr("object has offset 0 (nothing in the document refers to that object)"))
        << test.program;
    EXPECT_TRUE(tools_.Checks(InRoot("o.pdf"))) << test.program;
    EXPECT_THAT(tools_.PageText(InRoot("o.pdf"), 1), HasSubstr("Page 1")) << test.program;
    std::filesystem::remove(InRoot("o.pdf"));
    parameters["file"] = "broken.pdf";
    ExpectRefused(test.program, parameters,
                  "file \"broken.pdf\" is damaged: broken.pdf (object 6 0): object has offset "
                  "0; PdfRepair may recover it");
  }
}

TEST_F(PdfHostile, AContentDictionaryQpdfCannotReadKeepsEveryResourceAndIsNoDamage) {
  // qpdf's parse of the content for unused resources stumbles on the dictionary, keeps every
  // resource of the page and writes the content as it is: nothing is lost.
  Put("marked.pdf", pdf::samples::MalformedMarkedContentPdf());
  for (const char* program : {"pdf-optimize", "pdf-compress"}) {
    Run run = RunProcessor(
        program, Dict({{"file", "marked.pdf"}, {"output", "o.pdf"}, {"allowLarger", "true"}}));
    ASSERT_EQ(run.exitCode, 0) << program << ": " << Show(run.answer);
    EXPECT_THAT(Show(run.answer), HasSubstr("expected dictionary key but found non-name object"))
        << program;
    EXPECT_EQ(tools_.PageText(InRoot("o.pdf"), 1), tools_.PageText(InRoot("marked.pdf"), 1))
        << program;
    EXPECT_THAT(Tool(QPDF_PROGRAM, {"--qdf", "--object-streams=disable", InRoot("o.pdf"), "-"}),
                HasSubstr("/GS9"))
        << program;
  }
}

TEST_F(PdfHostile, ContentThatDoesNotDecodeIsNeverCopiedAsIfItWereSound) {
  // Operations that copy a Flate content stream without decoding it wrote outputs qpdf
  // --check refuses, and reported success.
  Put("damaged.pdf", pdf::samples::DamagedContentPdf());
  struct Case {
    const char* program;
    KQ_TDict parameters;
    const char* refusal;
  } cases[] = {
      {"pdf-merge", Dict({{"input", Array({"damaged.pdf", "three.pdf"})}, {"output", "o.pdf"}}),
       "output \"o.pdf\" is damaged: "},
      {"pdf-extract", Dict({{"file", "damaged.pdf"}, {"pages", "1"}, {"output", "o.pdf"}}),
       "output \"o.pdf\" is damaged: "},
      {"pdf-flatten", Dict({{"file", "damaged.pdf"}, {"output", "o.pdf"}}),
       "file \"damaged.pdf\" is damaged: "},
      {"pdf-rotate", Dict({{"file", "damaged.pdf"}, {"angle", "90"}, {"output", "o.pdf"}}),
       "file \"damaged.pdf\" is damaged: "},
      {"pdf-metadata",
       Dict({{"file", "damaged.pdf"}, {"set", Dict({{"Title", "T"}})}, {"output", "o.pdf"}}),
       "file \"damaged.pdf\" is damaged: "},
  };
  for (const Case& test : cases) {
    Run run = RunProcessor(test.program, test.parameters);
    EXPECT_EQ(run.exitCode, 1) << test.program << ": " << Show(run.answer);
    EXPECT_THAT(Text(run.answer, "error"), HasSubstr(test.refusal)) << test.program;
    EXPECT_THAT(Text(run.answer, "error"), HasSubstr("PdfRepair may recover")) << test.program;
    EXPECT_FALSE(std::filesystem::exists(InRoot("o.pdf"))) << test.program;
  }
  // The sound pages of the same merge still go through.
  Run sound = RunProcessor(
      "pdf-merge", Dict({{"input", Array({"three.pdf", "three.pdf"})}, {"output", "o.pdf"}}));
  ASSERT_EQ(sound.exitCode, 0) << Show(sound.answer);
  EXPECT_TRUE(tools_.Checks(InRoot("o.pdf")));
}

TEST_F(PdfHostile, ObjectsNestedTooDeepToLinearizeAreRefusedNotACrash) {
  // 20,000 name-tree nodes in a chain: qpdf's recursive linearization overflowed the stack.
  Put("chain.pdf", pdf::samples::DestinationChainPdf(20'000, 10));
  for (const char* program : {"pdf-optimize", "pdf-compress"}) {
    ExpectRefused(program, Dict({{"file", "chain.pdf"}, {"output", "o.pdf"}}),
                  "file \"chain.pdf\" nests its objects more than 10000 levels deep, too deep to "
                  "linearize; set \"linearize\" to \"false\" to write it without");
    Run flat = RunProcessor(
        program, Dict({{"file", "chain.pdf"}, {"output", "o.pdf"}, {"linearize", "false"}}));
    ASSERT_EQ(flat.exitCode, 0) << Show(flat.answer);
    EXPECT_TRUE(tools_.Checks(InRoot("o.pdf")));
  }
}

TEST_F(PdfHostile, RepairStopsWhereDamagedStreamsTimesObjectsPassesItsBound) {
  // Each wrong length makes qpdf search every object: 30,000 of them would cost minutes.
  Put("lengths.pdf", pdf::samples::WrongLengthStreamsPdf(30'000));
  ExpectRefused("pdf-repair", Dict({{"file", "lengths.pdf"}, {"output", "r.pdf"}}),
                "file \"lengths.pdf\" is damaged in too many places to repair: ");
}

TEST_F(PdfHostile, RepairRefusesMoreObjectsThanTheMemoryBudgetReadsBeforeReadingThem) {
  // 100 MB allow 102,400 objects; qpdf would run out of memory only after reading most.
  Put("many.pdf", pdf::samples::ManyObjectsPdf(150'000));
  ExpectRefused("pdf-repair", Dict({{"file", "many.pdf"}, {"output", "r.pdf"}}),
                "file \"many.pdf\" has 150021 objects; a repair reads every one, and "
                "VTPS_PDF_MAX_MEMORY_MB (100) allows at most 102400",
                {{"VTPS_PDF_MAX_MEMORY_MB", "100"}});
  // Under the bound, every object is read and the sound file copied as it is.
  Run repair = RunProcessor("pdf-repair", Dict({{"file", "many.pdf"}, {"output", "r.pdf"}}));
  ASSERT_EQ(repair.exitCode, 0) << Show(repair.answer);
  EXPECT_EQ(Text(repair.answer, "problemCount"), "0");
  EXPECT_EQ(ReadFile(InRoot("r.pdf")), ReadFile(InRoot("many.pdf")));
}

}  // namespace

}  // namespace vtps_test
