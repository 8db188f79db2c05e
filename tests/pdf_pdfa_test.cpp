// Documents that declare PDF/A through the rewriting operations: a PDF/A-1 file LibreOffice
// exports, each operation's output checked with PDFBox's preflight (Debian's
// libpdfbox2-java, the PDF/A-1b validator Debian packages), the metadata's dates after a
// rewrite, and the operations that cannot keep PDF/A: encryption refused, added text
// warned of.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "tests/pdf_root_test.h"

namespace vtps_test {
namespace {

using ::testing::HasSubstr;

class PdfPdfaTest : public PdfRootTest {
 protected:
  // One PDF/A-1 export of a two-page text document for the whole suite (soffice takes
  // seconds to start).
  static void SetUpTestSuite() {
    made_ = new TempDir();
    std::ofstream(made_->File("letter.txt")) << "First page of the archived letter\n\f"
                                             << "Second page\n";
    RunTool(SOFFICE_PROGRAM,
            {"-env:UserInstallation=file://" + made_->File("profile"), "--headless", "--convert-to",
             R"(pdf:writer_pdf_Export:{"SelectPdfVersion":{"type":"long","value":"1"}})",
             "--outdir", made_->Path().string(), made_->File("letter.txt")},
            made_->Path().string());
  }
  static void TearDownTestSuite() {
    delete made_;
    made_ = nullptr;
  }

  void SetUp() override {
    PdfRootTest::SetUp();
    ASSERT_TRUE(std::filesystem::exists(made_->File("letter.pdf")));
    std::filesystem::copy_file(made_->File("letter.pdf"), InRoot("archive.pdf"));
  }

  // Preflight's verdict: "" for a valid PDF/A-1b file, else its first errors.
  std::string Preflight(const std::string& pdf) {
    ToolResult result = RunTool(
        JAVA_PROGRAM,
        {"-cp", PREFLIGHT_CLASSPATH, "org.apache.pdfbox.preflight.Validator_A1b", InRoot(pdf)},
        dir_.Path().string());
    if (result.out.find("is a valid PDF/A-1b file") != std::string::npos)
      return "";
    return result.out.empty() ? "(no verdict)" : result.out.substr(0, 600);
  }

  std::string Xmp(const std::string& pdf) { return Tool(PDFINFO_PROGRAM, {"-meta", InRoot(pdf)}); }

  static TempDir* made_;
};

TempDir* PdfPdfaTest::made_ = nullptr;

TEST_F(PdfPdfaTest, RewritesKeepAPdfaDocumentValid) {
  ASSERT_EQ(Preflight("archive.pdf"), "") << "the input itself";
  ASSERT_THAT(Xmp("archive.pdf"), HasSubstr("<pdfaid:part>1</pdfaid:part>"));
  struct Case {
    const char* program;
    KQ_TDict extra;
  } cases[] = {
      {"pdf-optimize", Dict({})},
      {"pdf-optimize", Dict({{"linearize", "true"}})},
      {"pdf-compress", Dict({})},
      {"pdf-rotate", Dict({{"angle", "90"}})},
      {"pdf-flatten", Dict({})},
      {"pdf-metadata", Dict({{"set", Dict({{"Title", "Kept"}})}})},
      {"pdf-bookmarks", Dict({{"set", Array({Dict({{"title", "Second"}, {"page", "2"}})})}})},
      {"pdf-repair", Dict({})},
  };
  for (const Case& test : cases) {
    KQ_TDict parameters = test.extra;
    parameters["file"] = "archive.pdf";
    parameters["output"] = "out.pdf";
    Run run = RunProcessor(test.program, parameters);
    ASSERT_EQ(run.exitCode, 0) << test.program << ": " << Show(run.answer);
    EXPECT_EQ(Preflight("out.pdf"), "") << test.program;
    EXPECT_EQ(tools_.PageText(InRoot("out.pdf"), 2), "Second page") << test.program;
  }
}

TEST_F(PdfPdfaTest, ARewriteStampsTheMetadataDatesTheDocumentHas) {
  // A modification date set by the caller stays as given; the next rewrite moves it, in the
  // XMP packet and the information dictionary alike.
  Run set =
      RunProcessor("pdf-metadata", Dict({{"file", "archive.pdf"},
                                         {"output", "dated.pdf"},
                                         {"set", Dict({{"ModDate", "2001-02-03T04:05:06Z"}})}}));
  ASSERT_EQ(set.exitCode, 0) << Show(set.answer);
  EXPECT_THAT(Xmp("dated.pdf"), HasSubstr("2001-02-03T04:05:06Z"));
  Run rewrite =
      RunProcessor("pdf-optimize", Dict({{"file", "dated.pdf"}, {"output", "later.pdf"}}));
  ASSERT_EQ(rewrite.exitCode, 0) << Show(rewrite.answer);
  std::smatch xmpDate;
  std::string xmp = Xmp("later.pdf");
  ASSERT_TRUE(std::regex_search(xmp, xmpDate, std::regex("<xmp:ModifyDate>([^<]+)<"))) << xmp;
  EXPECT_NE(xmpDate[1].str(), "2001-02-03T04:05:06Z");
  EXPECT_EQ(xmpDate[1].str().substr(0, 2), "20");
  std::string info = Tool(PDFINFO_PROGRAM, {"-isodates", InRoot("later.pdf")});
  EXPECT_THAT(info, HasSubstr("ModDate:         " + xmpDate[1].str()));
  EXPECT_EQ(Preflight("later.pdf"), "");
}

TEST_F(PdfPdfaTest, WhatCannotStayPdfaIsRefusedOrWarnedOf) {
  Run encrypt = RunProcessor("pdf-encrypt", Dict({{"file", "archive.pdf"},
                                                  {"output", "e.pdf"},
                                                  {"userPassword", "u"},
                                                  {"ownerPassword", "o"}}));
  EXPECT_EQ(encrypt.exitCode, 1);
  EXPECT_THAT(Text(encrypt.answer, "error"),
              HasSubstr("declares PDF/A-1a, which forbids encryption"));
  EXPECT_FALSE(std::filesystem::exists(InRoot("e.pdf")));

  Run watermark = RunProcessor(
      "pdf-watermark", Dict({{"file", "archive.pdf"}, {"output", "w.pdf"}, {"text", "COPY"}}));
  ASSERT_EQ(watermark.exitCode, 0) << Show(watermark.answer);
  EXPECT_THAT(Show(watermark.answer),
              HasSubstr("declares PDF/A-1a, but the output is not PDF/A-1a: it adds text in "
                        "Helvetica, a font it does not embed, and see-through text"));
  // A document that declares nothing is watermarked without a word.
  Run plain = RunProcessor("pdf-watermark",
                           Dict({{"file", "three.pdf"}, {"output", "w3.pdf"}, {"text", "COPY"}}));
  ASSERT_EQ(plain.exitCode, 0) << Show(plain.answer);
  EXPECT_THAT(Show(plain.answer), ::testing::Not(HasSubstr("PDF/A")));
}

}  // namespace
}  // namespace vtps_test
