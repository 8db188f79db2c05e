// pdf-from-office run as the server runs it, with the office engine it starts for itself:
// documents the tests write (OOXML, ODF, RTF, text, CSV) converted and read back with
// poppler's tools, the options, the refusals, and the hostile documents (macros, linked
// content, a document that takes too long, more requests than the engine takes). Every test
// suite starts its engines in its own folders and stops them at its end.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "processors/pdf/samples/office_samples.h"
#include "tests/pdf_images.h"
#include "tests/pdf_root_test.h"

namespace vtps_test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class PdfOfficeTest : public PdfRootTest {
 protected:
  static void SetUpTestSuite() { engines_ = new TempDir(); }
  static void TearDownTestSuite() {
    for (const auto& entry : std::filesystem::directory_iterator(engines_->Path()))
      StopEngine(entry.path().string());
    delete engines_;
    engines_ = nullptr;
  }

  // Runs pdf-from-office with the engine of `engine` (a folder of the suite's: engines with
  // other settings get other names).
  // `job` names the job file, for runs side by side.
  Run Convert(const KQ_TDict& parameters, const std::string& engine = "shared",
              std::vector<std::pair<std::string, std::string>> environment = {},
              const std::string& job = "job") {
    std::filesystem::create_directories(engines_->Path() / engine);
    std::filesystem::permissions(engines_->Path() / engine, std::filesystem::perms::owner_all);
    environment.emplace_back("VTPS_OFFICE_SOCKET", engines_->File(engine + "/engine.sock"));
    environment.emplace_back("VTPS_PDF_ROOT", Root());
    return RunPdfProgram("pdf-from-office", parameters, dir_.File(job + ".xml"),
                         dir_.File(job + ".err"), environment);
  }

  void Write(const std::string& name, const std::string& content) {
    std::ofstream(InRoot(name), std::ios::binary) << content;
  }

  std::string Text(const std::string& pdf) { return Tool(PDFTOTEXT_PROGRAM, {InRoot(pdf), "-"}); }

  static TempDir* engines_;
};

TempDir* PdfOfficeTest::engines_ = nullptr;

TEST_F(PdfOfficeTest, ConvertsEveryKindOfDocumentWithItsText) {
  using pdf::samples::SampleDocx;
  struct Case {
    std::string name;
    std::string content;
    std::string word;
    std::string type;
    int pages;
  } cases[] = {
      {"letter.docx", SampleDocx({{"Dear reader"}, {"Second page"}}), "reader", "text", 2},
      {"table.xlsx", pdf::samples::SampleXlsx({{"Revenue", "120"}, {"Costs", "80"}}), "Revenue",
       "spreadsheet", 1},
      {"notes.odt", pdf::samples::SampleOdt("<text:p>Open document text</text:p>"), "Open", "text",
       1},
      {"deck.odp", pdf::samples::SampleOdp({"First slide", "Second slide"}), "slide",
       "presentation", 2},
      {"memo.rtf", "{\\rtf1\\ansi\\deff0 {\\fonttbl {\\f0 Times New Roman;}}\\f0 Rich memo\\par}",
       "Rich", "text", 1},
      {"plain.txt", "Plain words in a text file\n", "Plain", "text", 1},
      {"figures.csv", "Item;Amount\nPaper;12\n\"Ink, black\";3\n", "Ink, black", "spreadsheet", 1},
  };
  for (const Case& test : cases) {
    Write(test.name, test.content);
    Run run = Convert(Dict({{"file", test.name}, {"output", test.name + ".pdf"}}));
    ASSERT_EQ(run.exitCode, 0) << test.name << ": " << Show(run.answer);
    EXPECT_EQ(vtps_test::Text(run.answer, "pageCount"), std::to_string(test.pages)) << test.name;
    EXPECT_EQ(vtps_test::Text(run.answer, "documentType"), test.type) << test.name;
    EXPECT_EQ(tools_.PageCount(InRoot(test.name + ".pdf")), test.pages) << test.name;
    EXPECT_THAT(Text(test.name + ".pdf"), HasSubstr(test.word)) << test.name;
  }
}

TEST_F(PdfOfficeTest, ConvertsWhatLibreOfficeItselfSavesInMicrosoftsFormats) {
  // The samples saved by soffice as DOC, XLS and PPTX, with a profile of the test's own.
  Write("saved.docx", pdf::samples::SampleDocx({{"Saved by Writer"}}));
  Write("saved.xlsx", pdf::samples::SampleXlsx({{"Saved by Calc", "7"}}));
  Write("saved.odp", pdf::samples::SampleOdp({"Saved by Impress"}));
  std::string profile = "-env:UserInstallation=file://" + dir_.File("soffice-profile");
  struct Case {
    const char* source;
    const char* format;
    const char* word;
  } cases[] = {{"saved.docx", "doc", "Writer"},
               {"saved.xlsx", "xls", "Saved"},  // a spreadsheet's print clips a long cell
               {"saved.odp", "pptx", "Impress"}};
  for (const Case& test : cases) {
    RunTool(SOFFICE_PROGRAM,
            {profile, "--headless", "--convert-to", test.format, "--outdir", dir_.File("saved"),
             InRoot(test.source)},
            dir_.Path().string());
    std::string saved = std::filesystem::path(test.source).stem().string() + "." + test.format;
    ASSERT_TRUE(std::filesystem::exists(dir_.File("saved/" + saved))) << saved;
    std::filesystem::copy_file(dir_.File("saved/" + saved), InRoot("lo-" + saved));
    Run run = Convert(Dict({{"file", "lo-" + saved}, {"output", saved + ".pdf"}}));
    ASSERT_EQ(run.exitCode, 0) << saved << ": " << Show(run.answer);
    EXPECT_EQ(vtps_test::Text(run.answer, "format"), test.format);
    EXPECT_THAT(Text(saved + ".pdf"), HasSubstr(test.word)) << saved;
  }
}

TEST_F(PdfOfficeTest, ARealDocumentIsLaidOutAsSofficeLaysItOut) {
  // One of LibreOffice's own agenda templates (libreoffice-common), whose settings saved in
  // the document decide its layout: two pages with soffice.
  const std::string agenda =
      "/usr/lib/libreoffice/share/template/common/wizard/agenda/aw-4classic.ott";
  ASSERT_TRUE(std::filesystem::exists(agenda));
  std::filesystem::copy_file(agenda, InRoot("agenda.odt"));
  RunTool(SOFFICE_PROGRAM,
          {"-env:UserInstallation=file://" + dir_.File("soffice-profile"), "--headless",
           "--convert-to", "pdf", "--outdir", dir_.File("soffice"), InRoot("agenda.odt")},
          dir_.Path().string());
  int expected = tools_.PageCount(dir_.File("soffice/agenda.pdf"));
  ASSERT_GT(expected, 0);
  Run run = Convert(Dict({{"file", "agenda.odt"}, {"output", "agenda.pdf"}}));
  ASSERT_EQ(run.exitCode, 0) << Show(run.answer);
  EXPECT_EQ(tools_.PageCount(InRoot("agenda.pdf")), expected);
  EXPECT_EQ(Text("agenda.pdf"), Tool(PDFTOTEXT_PROGRAM, {dir_.File("soffice/agenda.pdf"), "-"}));
}

TEST_F(PdfOfficeTest, AProtectedDocumentOpensOnlyWithItsPassword) {
  Write("open.docx", pdf::samples::SampleDocx({{"Behind a password"}}));
  // LibreOffice 7.4 saves a password only into OpenDocument files (its DOCX came out
  // unprotected); a protected DOCX is read like one (an OLE file, which the format check
  // accepts).
  for (const char* format : {"odt"}) {
    std::string locked = std::string("locked.") + format;
    ToolResult saved = RunTool(
        PYTHON_PROGRAM,
        {SAVE_WITH_PASSWORD_SCRIPT, dir_.File("uno-profile"), InRoot("open.docx"), InRoot(locked),
         format == std::string("odt") ? "writer8" : "MS Word 2007 XML", "s3cret"},
        dir_.Path().string());
    ASSERT_EQ(saved.exitCode, 0) << saved.out;
    struct Case {
      KQ_TDict parameters;
      std::string error;  // "" when it converts
    } cases[] = {
        {Dict({{"file", locked}, {"output", "o.pdf"}}),
         "is protected by a password: give it in \"password\""},
        {Dict({{"file", locked}, {"output", "o.pdf"}, {"password", "wrong"}}),
         "the password given in \"password\" does not open the document"},
        {Dict({{"file", locked}, {"output", "o.pdf"}, {"password", "s3cret"}}), ""},
    };
    for (const Case& test : cases) {
      Run run = Convert(test.parameters);
      if (test.error.empty()) {
        EXPECT_EQ(run.exitCode, 0) << locked << ": " << Show(run.answer);
        EXPECT_THAT(Text("o.pdf"), HasSubstr("Behind a password")) << locked;
      } else {
        EXPECT_EQ(run.exitCode, 1) << locked;
        EXPECT_THAT(vtps_test::Text(run.answer, "error"), HasSubstr(test.error)) << locked;
      }
    }
    std::filesystem::remove(InRoot("o.pdf"));
  }
}

TEST_F(PdfOfficeTest, PagesPdfaAndFontsAreWhatTheCallerAsked) {
  Write("three.docx", pdf::samples::SampleDocx({{"One"}, {"Two"}, {"Three"}}));
  Run run = Convert(
      Dict({{"file", "three.docx"}, {"output", "out.pdf"}, {"pages", "2-3"}, {"pdfa", "2b"}}));
  ASSERT_EQ(run.exitCode, 0) << Show(run.answer);
  EXPECT_EQ(vtps_test::Text(run.answer, "pageCount"), "2");
  EXPECT_EQ(tools_.PageText(InRoot("out.pdf"), 1), "Two");
  std::string pdf = ReadFile(InRoot("out.pdf"));
  EXPECT_THAT(pdf, HasSubstr("<pdfaid:part>2</pdfaid:part>"));
  // Every font is embedded, and the answer says which stands in for what.
  std::string fonts = Tool(PDFFONTS_PROGRAM, {InRoot("out.pdf")});
  EXPECT_THAT(fonts, HasSubstr("Carlito"));
  EXPECT_THAT(fonts, Not(HasSubstr(" no  ")));
  EXPECT_THAT(Show(run.answer), HasSubstr("the PDF uses Carlito, the stand-in for Calibri"));
}

TEST_F(PdfOfficeTest, LandscapeTurnsEveryPageOfTextAndSpreadsheets) {
  Write("two.docx", pdf::samples::SampleDocx({{"Turned"}, {"Also turned"}}));
  // The workbook states no paper size, so its page style has none either.
  Write("sheet.xlsx", pdf::samples::SampleXlsx({{"Wide", "1"}}));
  Write("deck.odp", pdf::samples::SampleOdp({"Already wide", "Still wide"}));
  // "Page    1 size: 612 x 792 pts (letter)" for every page.
  auto sizes = [this](const std::string& pdf) {
    std::vector<std::pair<double, double>> pages;
    std::istringstream info(Tool(PDFINFO_PROGRAM, {"-f", "1", "-l", "100", InRoot(pdf)}));
    for (std::string line; std::getline(info, line);) {
      double width = 0;
      double height = 0;
      if (std::sscanf(line.c_str(), "Page %*d size: %lf x %lf", &width, &height) == 2)
        pages.emplace_back(width, height);
    }
    return pages;
  };
  struct Case {
    const char* file;
    bool landscape;
    int pages;
    const char* word;
  } cases[] = {{"two.docx", false, 2, "Turned"},
               {"two.docx", true, 2, "Turned"},
               {"sheet.xlsx", true, 1, "Wide"},
               {"deck.odp", true, 2, "Already"}};
  for (const Case& test : cases) {
    KQ_TDict parameters = Dict({{"file", test.file}, {"output", "turned.pdf"}});
    if (test.landscape)
      parameters["landscape"] = "true";
    Run run = Convert(parameters);
    ASSERT_EQ(run.exitCode, 0) << test.file << ": " << Show(run.answer);
    EXPECT_THAT(Show(run.answer), Not(HasSubstr("portrait"))) << test.file;
    std::vector<std::pair<double, double>> pages = sizes("turned.pdf");
    ASSERT_EQ(pages.size(), static_cast<std::size_t>(test.pages)) << test.file;
    for (const auto& [width, height] : pages)
      EXPECT_EQ(width > height, test.landscape) << test.file << ": " << width << " x " << height;
    EXPECT_THAT(Text("turned.pdf"), HasSubstr(test.word)) << test.file;
  }
}

TEST_F(PdfOfficeTest, SeveralInputsAreJoinedInOrder) {
  Write("a.docx", pdf::samples::SampleDocx({{"Alpha"}, {"Beta"}}));
  Write("b.csv", "Gamma,1\n");
  Run run = Convert(Dict({{"input", Array({"a.docx", "b.csv"})}, {"output", "joined.pdf"}}));
  ASSERT_EQ(run.exitCode, 0) << Show(run.answer);
  EXPECT_EQ(vtps_test::Text(run.answer, "pageCount"), "3");
  EXPECT_EQ(tools_.PageText(InRoot("joined.pdf"), 1), "Alpha");
  EXPECT_THAT(tools_.PageText(InRoot("joined.pdf"), 3), HasSubstr("Gamma"));
  EXPECT_TRUE(tools_.Checks(InRoot("joined.pdf")));
}

TEST_F(PdfOfficeTest, RefusesWhatItMustNotConvert) {
  Write("real.docx", pdf::samples::SampleDocx({{"x"}}));
  Write("zip.doc", pdf::samples::SampleDocx({{"x"}}));
  Write("empty.docx", "");
  Write("broken.docx", std::string("PK\x03\x04", 4) + "not a zip at all");
  std::filesystem::copy_file(InRoot("real.docx"), dir_.File("outside.docx"));
  struct Case {
    KQ_TDict parameters;
    std::string error;
  } cases[] = {
      {Dict({{"file", "zip.doc"}, {"output", "o.pdf"}}), "is not a Word 97-2003 document (DOC)"},
      {Dict({{"file", "empty.docx"}, {"output", "o.pdf"}}), "is empty"},
      {Dict({{"file", "broken.docx"}, {"output", "o.pdf"}}),
       "LibreOffice cannot open the document"},
      {Dict({{"file", "../outside.docx"}, {"output", "o.pdf"}}), "outside"},
      {Dict({{"file", "missing.docx"}, {"output", "o.pdf"}}), "does not exist"},
      {Dict({{"file", "real.docx"}, {"output", "o.pdf"}, {"pdfa", "4"}}), "must be \"1b\""},
      {Dict({{"input", Array({"real.docx", "real.docx"})}, {"output", "o.pdf"}, {"pdfa", "1b"}}),
       "are not PDF/A"},
  };
  for (const Case& test : cases) {
    Run run = Convert(test.parameters);
    EXPECT_EQ(run.exitCode, 1) << Show(test.parameters);
    EXPECT_THAT(vtps_test::Text(run.answer, "error"), HasSubstr(test.error))
        << Show(test.parameters);
  }
  EXPECT_FALSE(std::filesystem::exists(InRoot("o.pdf")));
}

TEST_F(PdfOfficeTest, AMacroThatWouldRunOnOpeningNeverRuns) {
  const std::string marker = dir_.File("macro-ran");
  Write("macro.odt", pdf::samples::MacroOdt(marker));
  Run run = Convert(Dict({{"file", "macro.odt"}, {"output", "macro.pdf"}}));
  ASSERT_EQ(run.exitCode, 0) << Show(run.answer);
  EXPECT_THAT(Text("macro.pdf"), HasSubstr("Harmless"));
  EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST_F(PdfOfficeTest, LinkedContentIsNeitherFetchedNorRead) {
  // A listener of the test's own on loopback, which the document links an image from.
  int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
  ASSERT_GE(listener, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 8), 0);
  socklen_t length = sizeof address;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  std::string url = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/logo.png";
  // A file outside the root the document links too: a real image, so that reading it would
  // put it into the PDF.
  Picture photo = Photo(64, 64);
  WritePng(dir_.File("rgb.png"), photo.width, photo.height, PNG_FORMAT_RGB, photo.pixels.data());
  Write("links.odt", pdf::samples::LinkingOdt(url, "file://" + dir_.File("rgb.png")));
  Run run = Convert(Dict({{"file", "links.odt"}, {"output", "links.pdf"}}));
  ASSERT_EQ(run.exitCode, 0) << Show(run.answer);
  EXPECT_LT(::accept(listener, nullptr, nullptr), 0) << "the worker connected to " << url;
  ::close(listener);
  std::string images = Tool(PDFIMAGES_PROGRAM, {"-list", InRoot("links.pdf")});
  EXPECT_THAT(images, Not(HasSubstr("image"))) << images;
}

TEST_F(PdfOfficeTest, ADocumentThatInflatesBeyondTheLimitsEndsWithinThem) {
  // Less than a megabyte that inflates to 144 MB of XML: 4 million paragraphs, far more
  // pages than a run may write.
  std::string bomb = pdf::samples::InflatingDocx(4'000'000);
  ASSERT_LT(bomb.size(), 1u << 20);
  Write("bomb.docx", bomb);
  Write("small.txt", "Small\n");
  std::vector<std::pair<std::string, std::string>> environment{
      {"VTPS_OFFICE_TIME_LIMIT_S", "10"}, {"VTPS_OFFICE_MAX_MEMORY_MB", "1024"}};
  Run run = Convert(Dict({{"file", "bomb.docx"}, {"output", "bomb.pdf"}}), "bounded", environment);
  EXPECT_EQ(run.exitCode, 1) << Show(run.answer);
  std::string error = vtps_test::Text(run.answer, "error");
  EXPECT_THAT(error, ::testing::AnyOf(HasSubstr("VTPS_OFFICE_MAX_MEMORY_MB"),
                                      HasSubstr("VTPS_OFFICE_TIME_LIMIT_S"),
                                      HasSubstr("VTPS_PDF_MAX_PAGES")))
      << error;
  EXPECT_FALSE(std::filesystem::exists(InRoot("bomb.pdf")));
  EXPECT_EQ(Convert(Dict({{"file", "small.txt"}, {"output", "small.pdf"}}), "bounded", environment)
                .exitCode,
            0);
}

TEST_F(PdfOfficeTest, ADocumentPastTheTimeLimitIsEndedAndTheEngineServesOn) {
  Write("endless.txt", pdf::samples::LongText());
  Write("small.txt", "Small\n");
  // Long enough for the small document under a sanitizer on a loaded machine, far too short
  // for the long one.
  std::vector<std::pair<std::string, std::string>> environment{{"VTPS_OFFICE_TIME_LIMIT_S", "4"}};
  Run slow =
      Convert(Dict({{"file", "endless.txt"}, {"output", "endless.pdf"}}), "timed", environment);
  EXPECT_EQ(slow.exitCode, 1);
  EXPECT_THAT(vtps_test::Text(slow.answer, "error"),
              HasSubstr("took longer than 4 s (VTPS_OFFICE_TIME_LIMIT_S)"));
  EXPECT_FALSE(std::filesystem::exists(InRoot("endless.pdf")));
  Run next = Convert(Dict({{"file", "small.txt"}, {"output", "small.pdf"}}), "timed", environment);
  EXPECT_EQ(next.exitCode, 0) << Show(next.answer);
}

TEST_F(PdfOfficeTest, BeyondItsWorkersAndQueueTheEngineSaysItIsBusy) {
  Write("long.txt", pdf::samples::LongText());
  Write("small.txt", "Small\n");
  std::vector<std::pair<std::string, std::string>> environment{
      {"VTPS_OFFICE_WORKERS", "1"}, {"VTPS_OFFICE_QUEUE", "0"}, {"VTPS_OFFICE_TIME_LIMIT_S", "5"}};
  // The engine starts with a first, quick conversion; then a long one holds its only worker.
  ASSERT_EQ(Convert(Dict({{"file", "small.txt"}, {"output", "first.pdf"}}), "single", environment)
                .exitCode,
            0);
  std::string work = engines_->File("single/work");
  std::thread busy([&] {
    Convert(Dict({{"file", "long.txt"}, {"output", "long.pdf"}}), "single", environment, "busy");
  });
  ASSERT_TRUE(WaitUntil([&] { return !std::filesystem::is_empty(work); }));
  Run refused =
      Convert(Dict({{"file", "small.txt"}, {"output", "refused.pdf"}}), "single", environment);
  busy.join();
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_THAT(vtps_test::Text(refused.answer, "error"),
              HasSubstr("the office engine is busy: 1 conversions run (VTPS_OFFICE_WORKERS) and 0 "
                        "wait (VTPS_OFFICE_QUEUE)"));
}

}  // namespace
}  // namespace vtps_test
