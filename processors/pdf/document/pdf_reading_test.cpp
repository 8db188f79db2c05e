// The parts of reading that need a document: counting the page tree and bounding what a
// stream decodes to, on hostile documents read from memory.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <qpdf/Buffer.hh>
#include <qpdf/Pl_Buffer.hh>
#include <qpdf/Pl_Flate.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include "processors/pdf/document/decode_limit.h"
#include "processors/pdf/document/page_tree.h"
#include "processors/pdf/samples/hostile_pdf.h"
#include "processors/pdf/samples/raw_pdf.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::document {

namespace {

using ::testing::HasSubstr;

// A document read from memory; qpdf reads lazily, so the text stays with it.
struct MemoryPdf {
  explicit MemoryPdf(std::string text) : content(std::move(text)) {
    pdf.setSuppressWarnings(true);
    pdf.processMemoryFile("test.pdf", content.data(), content.size());
  }
  std::string content;
  QPDF pdf;
};

TEST(CountPageTreeLeaves, CountsPagesAsQpdfListsThem) {
  for (const std::string& content :
       {samples::RepeatedPageObjectPdf(), samples::PageTreeBombPdf(7, 9)}) {
    MemoryPdf read(content);
    long long counted = CountPageTreeLeaves(read.pdf, "test.pdf", 1000);
    EXPECT_EQ(counted,
              static_cast<long long>(QPDFPageDocumentHelper(read.pdf).getAllPages().size()));
  }
}

TEST(CountPageTreeLeaves, StopsAtTheLimitAndRefusesLoops) {
  MemoryPdf exact(samples::PageTreeBombPdf(8, 8));
  EXPECT_EQ(CountPageTreeLeaves(exact.pdf, "test.pdf", 64), 64);
  MemoryPdf bomb(samples::PageTreeBombPdf(2000, 2000));
  try {
    CountPageTreeLeaves(bomb.pdf, "test.pdf", 10000);
    ADD_FAILURE() << "4 million pages counted";
  } catch (const PdfError& e) {
    EXPECT_THAT(e.what(),
                HasSubstr("file \"test.pdf\": its page tree holds more than 10000 "
                          "pages, the most this run may still read (VTPS_PDF_MAX_PAGES)"));
  }
  MemoryPdf loop(samples::PageTreeLoopPdf());
  try {
    CountPageTreeLeaves(loop.pdf, "test.pdf", 10000);
    ADD_FAILURE() << "a loop was walked";
  } catch (const PdfError& e) {
    EXPECT_THAT(e.what(), HasSubstr("file \"test.pdf\" is damaged: its page tree reaches node"));
  }
}

std::string EmptyRootWithoutKids() {
  samples::RawPdf pdf;
  pdf.Add("<< /Type /Catalog /Pages 2 0 R >>");
  pdf.Add("<< /Type /Pages /Count 0 >>");
  return pdf.Text();
}

// Each shape is read by qpdf as the pages it stands for once mended, every page an object
// of its own; a usual tree is left as it is.
TEST(MendPageTree, GivesEveryShapeItsPages) {
  using samples::PageTreeShape;
  struct Case {
    std::string content;
    std::size_t pages;
    std::string found;
  };
  std::vector<Case> cases = {
      {samples::PageTreeShapePdf(PageTreeShape::kPageAsRoot), 1, "a page as its root"},
      {samples::PageTreeShapePdf(PageTreeShape::kPageWithEmptyKids), 2,
       "a page with an empty /Kids"},
      {samples::PageTreeShapePdf(PageTreeShape::kPageInsideKids), 2,
       "a page or node written inside its parent's /Kids"},
      {samples::PageTreeShapePdf(PageTreeShape::kNodeInsideKids), 2,
       "a page or node written inside its parent's /Kids"},
      {samples::RepeatedPageObjectPdf(), 4, ""},
      // A node without /Kids is not taken for a page.
      {EmptyRootWithoutKids(), 0, ""},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.found);
    MemoryPdf read(test.content);
    EXPECT_EQ(CountPageTreeLeaves(read.pdf, "test.pdf", 1000), static_cast<long long>(test.pages));
    EXPECT_EQ(MendPageTree(read.pdf), test.found);
    std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(read.pdf).getAllPages();
    ASSERT_EQ(pages.size(), test.pages);
    for (QPDFPageObjectHelper& page : pages) {
      EXPECT_TRUE(page.getObjectHandle().isIndirect());
      EXPECT_FALSE(page.getObjectHandle().hasKey("/Kids"));
    }
    EXPECT_EQ(MendPageTree(read.pdf), "") << "mended twice";
  }
}

TEST(CheckDecodedSize, StopsAtTheLimitNamingTheStream) {
  MemoryPdf read(samples::InflatingContentPdf(1 << 20));
  QPDFObjectHandle content =
      QPDFPageDocumentHelper(read.pdf).getAllPages().at(0).getObjectHandle().getKey("/Contents");
  EXPECT_NO_THROW(CheckDecodedSize(content, qpdf_dl_generalized, 2 << 20, "test.pdf"));
  EXPECT_TRUE(read.pdf.getWarnings().empty());
  try {
    CheckDecodedSize(content, qpdf_dl_generalized, 1 << 19, "test.pdf");
    ADD_FAILURE() << "a 1 MiB stream passed a limit of 512 KiB";
  } catch (const PdfError& e) {
    EXPECT_THAT(e.what(), HasSubstr("file \"test.pdf\": stream 4 0 decodes to more than 524288 "
                                    "bytes (VTPS_PDF_MAX_STREAM_BYTES)"));
  }
  // At no decoding the filters are not qpdf's to apply.
  EXPECT_FALSE(DecodableAt(content, qpdf_dl_none));
  EXPECT_TRUE(DecodableAt(content, qpdf_dl_generalized));
}

// Deflate expands at most 1032 times, so a Flate stream of n raw bytes needs no decoding
// under a limit of 1032 n, and is decoded (and counted) under anything less.
TEST(BoundedByItsLength, PassesOnlyStreamsTooShortToReachTheLimit) {
  MemoryPdf read(samples::InflatingContentPdf(1 << 20));
  QPDFObjectHandle content =
      QPDFPageDocumentHelper(read.pdf).getAllPages().at(0).getObjectHandle().getKey("/Contents");
  long long raw = static_cast<long long>(content.getRawStreamData()->getSize());
  ASSERT_GT(raw, 0);
  EXPECT_TRUE(BoundedByItsLength(content, raw * 1032));
  EXPECT_FALSE(BoundedByItsLength(content, raw * 1032 - 1));
  // The bound is an upper bound: under it the real size passes, and decoding finds that too.
  EXPECT_NO_THROW(CheckDecodedSize(content, qpdf_dl_generalized, raw * 1032, "test.pdf"));

  // Two filters multiply; a JPEG has no bound of this kind.
  content.getDict().replaceKey("/Filter", QPDFObjectHandle::parse("[/ASCII85Decode /FlateDecode]"));
  EXPECT_TRUE(BoundedByItsLength(content, raw * 4 * 1032));
  EXPECT_FALSE(BoundedByItsLength(content, raw * 4 * 1032 - 1));
  // A predictor writes whole rows of the declared width, however short the data.
  content.getDict().replaceKey("/Filter", QPDFObjectHandle::newName("/FlateDecode"));
  content.getDict().replaceKey("/DecodeParms", QPDFObjectHandle::parse("<< /Columns 100000000 >>"));
  EXPECT_TRUE(BoundedByItsLength(content, raw * 1032));
  for (const char* parameters :
       {"<< /Predictor 12 /Columns 100000000 /Colors 4 /BitsPerComponent 16 >>",
        "[null << /Predictor 2 >>]", "7"}) {
    content.getDict().replaceKey("/DecodeParms", QPDFObjectHandle::parse(parameters));
    EXPECT_FALSE(BoundedByItsLength(content, 1LL << 60)) << parameters;
  }
  content.getDict().removeKey("/DecodeParms");
  content.getDict().replaceKey("/DP", QPDFObjectHandle::parse("<< /Predictor 15 >>"));
  EXPECT_FALSE(BoundedByItsLength(content, 1LL << 60));
  content.getDict().removeKey("/DP");
  content.getDict().replaceKey("/Filter", QPDFObjectHandle::newName("/DCTDecode"));
  EXPECT_FALSE(BoundedByItsLength(content, 1LL << 60));
  content.getDict().replaceKey("/Filter", QPDFObjectHandle::newInteger(3));
  EXPECT_FALSE(BoundedByItsLength(content, 1LL << 60));
  EXPECT_TRUE(read.pdf.getWarnings().empty());
}

// Damaged content gives what decodes before the damage, for the inline-image check, and
// leaves what qpdf says of the damage among the document's warnings, for the damage watch
// to judge.
TEST(DecodeWithin, GivesWhatDecodesAndRecordsTheDamage) {
  std::string text = "q BI /W 100000 /H 100000 /BPC 8 /CS /G ID x EI Q\n";
  for (int i = 0; i < 2000; ++i)
    text += "0 0 m 1 1 l S\n";
  Pl_Buffer compressed("compressed");
  Pl_Flate deflate("deflate", &compressed, Pl_Flate::a_deflate);
  deflate.write(reinterpret_cast<const unsigned char*>(text.data()), text.size());
  deflate.finish();
  std::shared_ptr<Buffer> bytes = compressed.getBufferSharedPointer();
  std::string flate(reinterpret_cast<const char*>(bytes->getBuffer()), bytes->getSize());

  QPDF pdf;
  pdf.setSuppressWarnings(true);
  pdf.emptyPDF();
  QPDFObjectHandle stream = QPDFObjectHandle::newStream(&pdf);
  stream.replaceStreamData(flate, QPDFObjectHandle::newName("/FlateDecode"),
                           QPDFObjectHandle::newNull());
  DecodeBudget budget(1 << 20, 1LL << 30);
  EXPECT_EQ(DecodeWithin(stream, qpdf_dl_specialized, budget, "test.pdf"), text);
  EXPECT_EQ(budget.Decoded(), static_cast<long long>(text.size()));
  EXPECT_TRUE(pdf.getWarnings().empty());
  try {
    DecodeBudget small(1000, 1LL << 30);
    DecodeWithin(stream, qpdf_dl_specialized, small, "test.pdf");
    ADD_FAILURE() << "content of " << text.size() << " bytes passed a limit of 1000";
  } catch (const PdfError& e) {
    EXPECT_THAT(e.what(), HasSubstr("decodes to more than 1000 bytes (VTPS_PDF_MAX_STREAM_BYTES)"));
  }
  pdf.getWarnings();  // read (and so cleared): passing the limit is the error above

  flate.resize(flate.size() / 2);  // cut short
  stream.replaceStreamData(flate, QPDFObjectHandle::newName("/FlateDecode"),
                           QPDFObjectHandle::newNull());
  std::string partial = DecodeWithin(stream, qpdf_dl_specialized, budget, "test.pdf");
  EXPECT_THAT(partial, HasSubstr(" BI /W 100000"));
  EXPECT_FALSE(pdf.getWarnings().empty());
}

// What every stream decodes to is charged to the run: a stream within its own limit stops
// the run once the run's limit would be passed.
TEST(DecodeBudget, BoundsTheRunAsWellAsEachStream) {
  MemoryPdf read(samples::InflatingContentPdf(1 << 20));
  QPDFObjectHandle content =
      QPDFPageDocumentHelper(read.pdf).getAllPages().at(0).getObjectHandle().getKey("/Contents");
  DecodeBudget budget(2 << 20, 3 << 19);
  long long size = CheckDecodedSize(content, qpdf_dl_generalized, budget, "test.pdf");
  EXPECT_GT(size, 1 << 20);
  EXPECT_EQ(budget.Decoded(), size);
  try {
    CheckDecodedSize(content, qpdf_dl_generalized, budget, "test.pdf");
    ADD_FAILURE() << "the run decoded twice 1 MiB under a limit of 1.5 MiB";
  } catch (const PdfError& e) {
    EXPECT_THAT(e.what(), HasSubstr("file \"test.pdf\": the run's streams would decode to more "
                                    "than 1572864 bytes (VTPS_PDF_MAX_DECODED_BYTES)"));
  }
  EXPECT_EQ(budget.Decoded(), size);
  EXPECT_THROW(budget.Charge(1 << 20, "test.pdf"), PdfError);
  EXPECT_NO_THROW(budget.Charge((3 << 19) - size, "test.pdf"));
  read.pdf.getWarnings();
}

TEST(CountingDiscard, CountsUpToTheLimit) {
  CountingDiscard counter(10);
  const unsigned char bytes[16] = {};
  counter.write(bytes, 10);
  EXPECT_FALSE(counter.Exceeded());
  EXPECT_THROW(counter.write(bytes, 1), std::length_error);
  EXPECT_TRUE(counter.Exceeded());
  EXPECT_EQ(counter.Count(), 11);
}

}  // namespace

}  // namespace pdf::document
