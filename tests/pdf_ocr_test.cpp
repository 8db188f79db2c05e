// Text recognition (pdf-ocr) run as the server runs it, on scanned pages the test makes: the
// words found with pdftotext where they stand on the page, the page drawn as before.
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "platform/kqtypes/kqtypes.h"
#include "processors/pdf/samples/sample_pdf.h"
#include "tests/pdf_images.h"
#include "tests/pdf_job.h"
#include "tests/pdf_root_test.h"
#include "tests/pdf_test_files.h"
#include "tests/support/test_support.h"

namespace vtps_test {

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

using PdfOcr = PdfScanTest;

TEST_F(PdfOcr, MakesAScannedPageSearchableAndLeavesItsLook) {
  const std::vector<std::string> words = {"Invoice", "number", "4711", "payable",
                                          "within",  "thirty", "days"};
  std::string sentence;
  for (const std::string& word : words)
    sentence += (sentence.empty() ? "" : " ") + word;
  ASSERT_NO_FATAL_FAILURE(MakeScan(sentence, "scan.pdf"));
  ASSERT_EQ(tools_.PageText(InRoot("scan.pdf"), 1), "");

  Run run = RunProcessor("pdf-ocr", Dict({{"file", "scan.pdf"}, {"output", "ocr.pdf"}}));
  ASSERT_EQ(run.exitCode, 0) << Show(run.answer);
  EXPECT_EQ(Text(run.answer, "pagesDone"), "1");
  KQ_TArray pages = AnswerArray(run.answer, "page");
  const KQ_TDict& page = Element(pages, 0);
  EXPECT_EQ(Text(page, "done"), "true");
  EXPECT_GE(std::stoi(Text(page, "confidence")), 70) << Show(run.answer);
  EXPECT_TRUE(tools_.Checks(InRoot("ocr.pdf")));

  Run text = RunProcessor("pdf-text", Dict({{"file", "ocr.pdf"}}));
  ASSERT_EQ(text.exitCode, 0) << Show(text.answer);
  std::string found = Text(Element(AnswerArray(text.answer, "page"), 0), "text");
  int right = 0;
  for (const std::string& word : words)
    right += found.find(word) != std::string::npos;
  EXPECT_GE(right, 6) << found;
  EXPECT_THAT(tools_.PageText(InRoot("ocr.pdf"), 1), HasSubstr("payable within"));

  // The layer is invisible: the page draws as before.
  Picture before = Rendered("scan.pdf", 1, 100);
  Picture after = Rendered("ocr.pdf", 1, 100);
  ASSERT_EQ(before.pixels.size(), after.pixels.size());
  ASSERT_GT(before.width, 0);
  std::size_t pixels = before.pixels.size() / 3;
  std::size_t differing = 0;
  for (std::size_t i = 0; i < pixels; ++i)
    differing +=
        !std::equal(&before.pixels[3 * i], &before.pixels[3 * i + 3], &after.pixels[3 * i]);
  EXPECT_LT(static_cast<double>(differing), 0.01 * static_cast<double>(pixels));

  // A page with text is left alone unless forced.
  Run again = RunProcessor("pdf-ocr", Dict({{"file", "ocr.pdf"}, {"output", "again.pdf"}}));
  ASSERT_EQ(again.exitCode, 0) << Show(again.answer);
  EXPECT_EQ(Text(again.answer, "pagesDone"), "0");
  EXPECT_EQ(Text(Element(AnswerArray(again.answer, "page"), 0), "done"), "false");
  Run forced = RunProcessor(
      "pdf-ocr", Dict({{"file", "ocr.pdf"}, {"output", "again.pdf"}, {"force", "true"}}));
  ASSERT_EQ(forced.exitCode, 0) << Show(forced.answer);
  EXPECT_EQ(Text(forced.answer, "pagesDone"), "1");
}

TEST_F(PdfOcr, PlacesTheLayerOverTheWordsOfTurnedAndCroppedPages) {
  // Pages whose text reads upright as displayed: drawn through the matrix that takes
  // displayed points to the page's space for its rotation and crop box. Recognition only
  // reads the words if poppler draws them upright; the layer is only over them if it goes
  // through the same matrix.
  struct Case {
    int rotate;
    const char* mediaBox;
    const char* cropBox;
    const char* matrix;
  };
  const Case cases[] = {
      {90, "0 0 792 612", nullptr, "0 1 -1 0 792 0"},
      {180, "0 0 612 792", nullptr, "-1 0 0 -1 612 792"},
      {270, "0 0 792 612", nullptr, "0 -1 1 0 0 612"},
      {0, "0 0 700 900", "50 60 662 852", "1 0 0 1 50 60"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rotate);
    QPDF pdf;
    pdf.emptyPDF();
    std::string page = "<< /Type /Page /MediaBox [" + std::string(c.mediaBox) + "] " +
                       (c.cropBox ? "/CropBox [" + std::string(c.cropBox) + "] " : "") +
                       "/Rotate " + std::to_string(c.rotate) +
                       " /Resources << /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont "
                       "/Helvetica >> >> >> >>";
    QPDFObjectHandle object = pdf.makeIndirectObject(QPDFObjectHandle::parse(page));
    object.replaceKey("/Contents",
                      QPDFObjectHandle::newStream(
                          &pdf, "q " + std::string(c.matrix) +
                                    " cm BT /F1 24 Tf 72 696 Td (Quarterly figures attached) Tj "
                                    "ET Q\n"));
    QPDFPageDocumentHelper(pdf).addPage(QPDFPageObjectHelper(object), false);
    // QPDFWriter keeps the name's pointer until it writes.
    std::string path = InRoot("turned.pdf");
    QPDFWriter writer(pdf, path.c_str());
    writer.write();

    Run run = RunProcessor("pdf-ocr", Dict({{"file", "turned.pdf"},
                                            {"output", "turned-ocr.pdf"},
                                            {"dpi", "150"},
                                            {"force", "true"}}));
    ASSERT_EQ(run.exitCode, 0) << Show(run.answer);
    // Each word is now there twice, drawn and invisible, in the same place as displayed.
    std::string boxes = Tool(PDFTOTEXT_PROGRAM, {"-bbox", InRoot("turned-ocr.pdf"), "-"});
    struct Box {
      double xMin, yMin, xMax, yMax;
    };
    std::vector<Box> words;
    std::istringstream lines(boxes);
    for (std::string line; std::getline(lines, line);) {
      if (line.find(">Quarterly<") == std::string::npos)
        continue;
      Box box{};
      ASSERT_EQ(
          std::sscanf(line.c_str(), " <word xMin=\"%lf\" yMin=\"%lf\" xMax=\"%lf\" yMax=\"%lf\"",
                      &box.xMin, &box.yMin, &box.xMax, &box.yMax),
          4)
          << line;
      words.push_back(box);
    }
    ASSERT_EQ(words.size(), 2u) << boxes;
    // The recognised box's height follows the layer's font, not the drawn one, and
    // recognition places it a few points either way; what matters is that the two boxes
    // cover the same word: each overlaps the other by most of its width and height.
    auto overlap = [](double low1, double high1, double low2, double high2) {
      return (std::min(high1, high2) - std::max(low1, low2)) / std::min(high1 - low1, high2 - low2);
    };
    EXPECT_GT(overlap(words[0].xMin, words[0].xMax, words[1].xMin, words[1].xMax), 0.8) << boxes;
    EXPECT_GT(overlap(words[0].yMin, words[0].yMax, words[1].yMin, words[1].yMax), 0.6) << boxes;
  }
}

TEST_F(PdfOcr, RefusesWhatItCannotDoAndWritesNothing) {
  struct Case {
    KQ_TDict parameters;
    const char* message;
    std::vector<std::pair<std::string, std::string>> environment = {};
  };
  auto ocr = [](std::initializer_list<std::pair<const char*, KQ_TAny>> extra) {
    KQ_TDict parameters = Dict({{"file", "three.pdf"}, {"output", "o.pdf"}, {"force", "true"}});
    for (const auto& [key, value] : extra)
      parameters[key] = value;
    return parameters;
  };
  const Case cases[] = {
      {ocr({{"language", "deu"}}),
       "parameter \"language\": the language \"deu\" is not installed (installed: eng"},
      {ocr({{"language", "../../tmp/x"}}), "parameter \"language\" is \"../../tmp/x\""},
      {ocr({{"language", "eng+"}}), "parameter \"language\" is \"eng+\""},
      {ocr({{"dpi", "601"}}), "parameter \"dpi\" is \"601\""},
      {Dict({{"file", "big.pdf"}, {"output", "o.pdf"}, {"dpi", "300"}}),
       "at most 100 megapixels per page (lower \"dpi\")"},
      {ocr({{"pages", "4"}}), "parameter \"pages\": \"4\" is not a page range"},
      {ocr({}),
       "needs more memory than VTPS_PDF_MAX_MEMORY_MB allows",
       {{"VTPS_PDF_MAX_MEMORY_MB", "200"}}},
      {Dict({{"file", "locked.pdf"}, {"output", "o.pdf"}}), "give its \"password\""},
  };
  auto before = vtps_test::FolderSnapshot(Root());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    Run run = RunProcessor("pdf-ocr", c.parameters, c.environment);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_THAT(Text(run.answer, "error"), HasSubstr(c.message));
    EXPECT_EQ(vtps_test::FolderSnapshot(Root()), before);
  }
}

}  // namespace

}  // namespace vtps_test
