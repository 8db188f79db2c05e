// Valid documents of structures the writers of PDF use but that are easy to get wrong, run
// through the PDF programs as the server runs them: a document that encrypts only its
// attachments, one whose /Resources refer to a stream. Results are checked with Debian's qpdf and
// pdftotext.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "processors/pdf/samples/hostile_pdf.h"
#include "processors/pdf/samples/locked_attachments_pdf.h"
#include "processors/pdf/samples/stream_resources_pdf.h"
#include "tests/pdf_images.h"
#include "tests/pdf_job.h"
#include "tests/pdf_root_test.h"
#include "tests/support/test_support.h"

namespace vtps_test {

namespace {

namespace fs = std::filesystem;
using pdf::samples::AttachmentCipher;
using ::testing::HasSubstr;

class PdfFidelity : public PdfRootTest {
 protected:
  void SetUp() override {
    PdfRootTest::SetUp();
    for (AttachmentCipher cipher : {AttachmentCipher::kAes128, AttachmentCipher::kAes256}) {
      pdf::samples::LockedAttachmentsDocument document;
      document.cipher = cipher;
      document.annotationData = "the annotation's file";
      WriteFile(InRoot(LockedName(cipher)), pdf::samples::LockedAttachmentsPdf(document));
    }
    WriteFile(InRoot("stream-resources.pdf"), pdf::samples::StreamResourcesPdf());
  }

  static std::string LockedName(AttachmentCipher cipher) {
    return cipher == AttachmentCipher::kAes128 ? "locked-128.pdf" : "locked-256.pdf";
  }

  // `text` without its spaces and line breaks (pdftotext breaks a line a stamp overlaps).
  static std::string WithoutBlanks(std::string text) {
    std::erase_if(text, [](char c) { return c == ' ' || c == '\n'; });
    return text;
  }

  // The answer's warnings, one a line.
  static std::string Warnings(const KQ_TDict& answer) {
    std::string all;
    KQ_TArray warnings = AnswerArray(answer, "warning");
    for (std::size_t i = 0; i < warnings.Count(); ++i)
      if (const auto* text = warnings[i].DynamicCast<KQ_TString>())
        all += text->Text() + "\n";
    return all;
  }

  // What qpdf lists of the attachments of `pdf`.
  std::string ListedAttachments(const std::string& pdf, const std::string& password = "") {
    std::vector<std::string> arguments{"--list-attachments", InRoot(pdf)};
    if (!password.empty())
      arguments.insert(arguments.begin(), "--password=" + password);
    return Tool(QPDF_PROGRAM, arguments);
  }
};

using Environment = std::vector<std::pair<std::string, std::string>>;

const AttachmentCipher kCiphers[] = {AttachmentCipher::kAes128, AttachmentCipher::kAes256};

// Every operation that writes a document, run on `file`, writing "o.pdf".
std::vector<std::pair<std::string, KQ_TDict>> WritingRuns(const std::string& file) {
  return {
      {"pdf-optimize", Dict({{"file", file}, {"output", "o.pdf"}})},
      {"pdf-compress", Dict({{"file", file}, {"output", "o.pdf"}, {"allowLarger", "true"}})},
      {"pdf-merge", Dict({{"input", Array({file, "three.pdf"})}, {"output", "o.pdf"}})},
      {"pdf-extract", Dict({{"file", file}, {"pages", "1,1"}, {"output", "o.pdf"}})},
      {"pdf-rotate", Dict({{"file", file}, {"angle", "90"}, {"output", "o.pdf"}})},
      {"pdf-flatten", Dict({{"file", file}, {"output", "o.pdf"}})},
      {"pdf-watermark", Dict({{"file", file}, {"text", "DRAFT"}, {"output", "o.pdf"}})},
      {"pdf-page-numbers", Dict({{"file", file}, {"output", "o.pdf"}})},
      {"pdf-stamp", Dict({{"file", file}, {"stamp", "stamp.pdf"}, {"output", "o.pdf"}})},
      {"pdf-metadata",
       Dict({{"file", file}, {"output", "o.pdf"}, {"set", Dict({{"Title", "T"}})}})},
  };
}

// Without the password the pages are read and written as readers show them; the attachments,
// which only the password opens, are left out of what is written, with a warning.
TEST_F(PdfFidelity, AttachmentOnlyEncryptionOpensWithoutThePassword) {
  for (AttachmentCipher cipher : kCiphers) {
    std::string locked = LockedName(cipher);
    SCOPED_TRACE(locked);
    Run info = RunProcessor("pdf-info", Dict({{"file", locked}}));
    ASSERT_EQ(info.exitCode, 0) << Show(info.answer);
    EXPECT_EQ(Text(info.answer, "pageCount"), "1");
    EXPECT_EQ(Text(info.answer, "encrypted"), "true");

    Run text = RunProcessor("pdf-text", Dict({{"file", locked}}));
    ASSERT_EQ(text.exitCode, 0) << Show(text.answer);
    EXPECT_EQ(Text(Element(AnswerArray(text.answer, "page"), 0), "text"), "Page 1");

    Run render = RunProcessor("pdf-render", Dict({{"file", locked}, {"output", "page-%d.png"}}));
    ASSERT_EQ(render.exitCode, 0) << Show(render.answer);
    EXPECT_EQ(PngSize(InRoot("page-1.png")), std::make_pair(612, 792)) << Show(render.answer);

    Run merge = RunProcessor(
        "pdf-merge", Dict({{"input", Array({locked, "three.pdf"})}, {"output", "merged.pdf"}}));
    ASSERT_EQ(merge.exitCode, 0) << Show(merge.answer);
    EXPECT_THAT(Warnings(merge.answer), HasSubstr("encrypts its attachments"));
    EXPECT_TRUE(tools_.Checks(InRoot("merged.pdf")));
    EXPECT_EQ(tools_.PageCount(InRoot("merged.pdf")), 4);
    EXPECT_EQ(tools_.PageText(InRoot("merged.pdf"), 1), "Page 1");

    Run optimize = RunProcessor("pdf-optimize", Dict({{"file", locked}, {"output", "o.pdf"}}));
    ASSERT_EQ(optimize.exitCode, 0) << Show(optimize.answer);
    EXPECT_THAT(Warnings(optimize.answer),
                HasSubstr("file \"" + locked +
                          "\" encrypts its attachments; without its \"password\" its 2 embedded "
                          "files are left out"));
    EXPECT_TRUE(tools_.Checks(InRoot("o.pdf")));
    EXPECT_FALSE(tools_.NeedsPassword(InRoot("o.pdf")));
    EXPECT_EQ(tools_.PageText(InRoot("o.pdf"), 1), "Page 1");
    // Left out, not written as if their encrypted bytes were the files.
    EXPECT_THAT(ListedAttachments("o.pdf"), HasSubstr("no embedded files"));
    EXPECT_THAT(Tool(QPDF_PROGRAM, {"--show-object=trailer", InRoot("o.pdf")}),
                ::testing::Not(HasSubstr("/Encrypt")));
  }
}

TEST_F(PdfFidelity, EveryWritingOperationLeavesOutAttachmentsItCannotDecrypt) {
  for (AttachmentCipher cipher : kCiphers) {
    for (const auto& [program, parameters] : WritingRuns(LockedName(cipher))) {
      SCOPED_TRACE(program + " " + LockedName(cipher));
      fs::remove(InRoot("o.pdf"));
      Run run = RunProcessor(program, parameters);
      ASSERT_EQ(run.exitCode, 0) << Show(run.answer);
      EXPECT_THAT(Warnings(run.answer), HasSubstr("encrypts its attachments"));
      EXPECT_TRUE(tools_.Checks(InRoot("o.pdf")));
      EXPECT_FALSE(tools_.NeedsPassword(InRoot("o.pdf")));
      EXPECT_THAT(WithoutBlanks(tools_.PageText(InRoot("o.pdf"), 1)), HasSubstr("Page1"));
      EXPECT_THAT(ListedAttachments("o.pdf"), HasSubstr("no embedded files"));
    }
  }
}

TEST_F(PdfFidelity, EncryptedAttachmentsNeedThePassword) {
  for (AttachmentCipher cipher : kCiphers) {
    std::string locked = LockedName(cipher);
    SCOPED_TRACE(locked);
    auto before = FolderSnapshot(Root());
    for (const KQ_TDict& parameters :
         {Dict({{"file", locked}}), Dict({{"file", locked}, {"extract", "."}}),
          Dict({{"file", locked}, {"output", "x.pdf"}, {"add", Array({"three.pdf"})}})}) {
      Run run = RunProcessor("pdf-attachments", parameters);
      EXPECT_EQ(run.exitCode, 1) << Show(run.answer);
      EXPECT_EQ(Text(run.answer, "error"),
                "file \"" + locked + "\" encrypts its attachments; give its \"password\"");
    }
    EXPECT_TRUE(FolderSnapshot(Root()) == before) << "a refused run changed the root";
  }
}

// qpdf hands out embedded files that /EFF encrypts as they are stored, encrypted; with the
// password they are listed, extracted and written decrypted.
TEST_F(PdfFidelity, WithThePasswordEncryptedAttachmentsAreDecrypted) {
  for (AttachmentCipher cipher : kCiphers) {
    std::string locked = LockedName(cipher);
    SCOPED_TRACE(locked);
    fs::remove_all(InRoot("out"));
    fs::create_directory(InRoot("out"));
    Run list = RunProcessor("pdf-attachments", Dict({{"file", locked}, {"password", "user-pw"}}));
    ASSERT_EQ(list.exitCode, 0) << Show(list.answer);
    EXPECT_EQ(Text(Element(AnswerArray(list.answer, "attachment"), 0), "size"), "19");

    Run extract = RunProcessor(
        "pdf-attachments", Dict({{"file", locked}, {"password", "owner-pw"}, {"extract", "out"}}));
    ASSERT_EQ(extract.exitCode, 0) << Show(extract.answer);
    EXPECT_EQ(ReadFile(InRoot("out/secret.txt")), "the attached secret");

    Run optimize = RunProcessor(
        "pdf-optimize", Dict({{"file", locked}, {"password", "user-pw"}, {"output", "o.pdf"}}));
    ASSERT_EQ(optimize.exitCode, 0) << Show(optimize.answer);
    EXPECT_EQ(Warnings(optimize.answer), "");
    EXPECT_EQ(
        Tool(QPDF_PROGRAM, {"--password=user-pw", "--show-attachment=secret.txt", InRoot("o.pdf")}),
        "the attached secret");
    // qpdf writes no encryption of attachments alone: the copy encrypts everything.
    EXPECT_TRUE(tools_.NeedsPassword(InRoot("o.pdf")));
    EXPECT_EQ(tools_.PageText(InRoot("o.pdf"), 1, "user-pw"), "Page 1");
  }
}

// qpdf's resource pruning copies each /Resources as a dictionary and threw "stream objects
// cannot be cloned" on one that refers to a stream, which readers ignore and qpdf writes.
TEST_F(PdfFidelity, EncryptedAttachmentsAreDecryptedWithinTheStreamLimit) {
  pdf::samples::LockedAttachmentsDocument document;
  unsigned next = 1;
  for (int i = 0; i < 3000; ++i) {  // about 3 kB of bytes Flate cannot shrink much
    next = next * 1103515245u + 12345u;
    document.fileData += static_cast<char>('!' + (next >> 16) % 90);
  }
  WriteFile(InRoot("big.pdf"), pdf::samples::LockedAttachmentsPdf(document));
  Environment small = {{"VTPS_PDF_MAX_STREAM_BYTES", "1024"}};
  Run limited =
      RunProcessor("pdf-info", Dict({{"file", "big.pdf"}, {"password", "user-pw"}}), small);
  EXPECT_EQ(limited.exitCode, 1) << Show(limited.answer);
  EXPECT_THAT(Text(limited.answer, "error"), HasSubstr("(VTPS_PDF_MAX_STREAM_BYTES)"));
  // Without the password nothing is decrypted.
  Run locked = RunProcessor("pdf-info", Dict({{"file", "big.pdf"}}), small);
  EXPECT_EQ(locked.exitCode, 0) << Show(locked.answer);
}

TEST_F(PdfFidelity, ResourcesReferringToAStreamAreWrittenAsTheyAre) {
  ASSERT_TRUE(tools_.Checks(InRoot("stream-resources.pdf")));
  ASSERT_EQ(tools_.PageText(InRoot("stream-resources.pdf"), 1), "Page 1\n\nIn the form");
  for (const auto& [program, parameters] : WritingRuns("stream-resources.pdf")) {
    SCOPED_TRACE(program);
    fs::remove(InRoot("o.pdf"));
    Run run = RunProcessor(program, parameters);
    EXPECT_EQ(run.exitCode, 0) << Show(run.answer);
    if (run.exitCode != 0)
      continue;
    EXPECT_TRUE(tools_.Checks(InRoot("o.pdf")));
    std::string text = WithoutBlanks(tools_.PageText(InRoot("o.pdf"), 1));
    EXPECT_THAT(text, HasSubstr("Page1"));
    EXPECT_THAT(text, HasSubstr("Intheform"));
  }
}

// Page trees readers forgive: qpdf listed no page for a page as the root or a page with an
// empty /Kids, and poppler drew a page written inside /Kids blank and gave it no text.
TEST_F(PdfFidelity, PageTreesOfUnusualShapesAreReadAsTheirPages) {
  using pdf::samples::PageTreeShape;
  struct Case {
    const char* name;
    PageTreeShape shape;
    int pages;
  } cases[] = {
      {"root.pdf", PageTreeShape::kPageAsRoot, 1},
      {"empty-kids.pdf", PageTreeShape::kPageWithEmptyKids, 2},
      {"page-inside.pdf", PageTreeShape::kPageInsideKids, 2},
      {"node-inside.pdf", PageTreeShape::kNodeInsideKids, 2},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    WriteFile(InRoot(test.name), pdf::samples::PageTreeShapePdf(test.shape));
    Run text = RunProcessor("pdf-text", Dict({{"file", test.name}}));
    ASSERT_EQ(text.exitCode, 0) << Show(text.answer);
    EXPECT_THAT(Warnings(text.answer), HasSubstr("was read as the plain tree of the same pages"));
    KQ_TArray pages = AnswerArray(text.answer, "page");
    ASSERT_EQ(pages.Count(), static_cast<std::size_t>(test.pages));
    for (int i = 0; i < test.pages; ++i)
      EXPECT_EQ(Text(Element(pages, i), "text"), "Page " + std::to_string(i + 1));

    Run render = RunProcessor(
        "pdf-render",
        Dict({{"file", test.name}, {"pages", "1"}, {"dpi", "36"}, {"output", "shape-%d.png"}}));
    ASSERT_EQ(render.exitCode, 0) << Show(render.answer);
    Picture drawn = ReadPng(InRoot("shape-1.png"));
    ASSERT_GT(drawn.width, 0);
    EXPECT_TRUE(std::any_of(drawn.pixels.begin(), drawn.pixels.end(), [](unsigned char value) {
      return value < 128;
    })) << "page 1 drawn blank";

    for (const auto& [program, parameters] : WritingRuns(test.name)) {
      SCOPED_TRACE(program);
      fs::remove(InRoot("o.pdf"));
      Run run = RunProcessor(program, parameters);
      ASSERT_EQ(run.exitCode, 0) << Show(run.answer);
      EXPECT_TRUE(tools_.Checks(InRoot("o.pdf")));
      EXPECT_THAT(WithoutBlanks(tools_.PageText(InRoot("o.pdf"), 1)), HasSubstr("Page1"));
    }
  }
}

// qpdf warns of these form faults and reads through them: every widget a page lists is still
// drawn and copied. The runs that copied or flattened the forms refused them as damaged.
TEST_F(PdfFidelity, FormFaultsQpdfReadsThroughLetEveryOperationWork) {
  using pdf::samples::FormFault;
  struct Case {
    const char* name;
    FormFault fault;
    const char* warning;
  } cases[] = {
      {"not-listed.pdf", FormFault::kWidgetNotListed, "is not reachable from /AcroForm"},
      {"direct-field.pdf", FormFault::kDirectField, "encountered a direct object as a field"},
      {"fields-not-array.pdf", FormFault::kFieldsNotArray, "is not an array; ignoring"},
      {"field-loop.pdf", FormFault::kFieldLoop, "loop detected while traversing /AcroForm"},
      {"bad-da.pdf", FormFault::kBadDefaultAppearance, "(content, offset"},
      {"bad-appearance.pdf", FormFault::kBadAppearanceStream, "(content, offset"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    WriteFile(InRoot(test.name), pdf::samples::FormFaultPdf(test.fault));
    std::string warnings;
    for (const auto& [program, parameters] : WritingRuns(test.name)) {
      SCOPED_TRACE(program);
      fs::remove(InRoot("o.pdf"));
      Run run = RunProcessor(program, parameters);
      ASSERT_EQ(run.exitCode, 0) << Show(run.answer);
      warnings += Warnings(run.answer);
      EXPECT_TRUE(tools_.Checks(InRoot("o.pdf")));
      std::string text = WithoutBlanks(tools_.PageText(InRoot("o.pdf"), 1));
      EXPECT_THAT(text, HasSubstr("Page1"));
      if (program == "pdf-flatten") {
        EXPECT_THAT(text, HasSubstr("Alice"));
      }
    }
    // Merged with itself, its fields' names clash and qpdf renames them, parsing appearances.
    Run twice = RunProcessor(
        "pdf-merge", Dict({{"input", Array({test.name, test.name})}, {"output", "twice.pdf"}}));
    ASSERT_EQ(twice.exitCode, 0) << Show(twice.answer);
    warnings += Warnings(twice.answer);
    EXPECT_TRUE(tools_.Checks(InRoot("twice.pdf")));
    EXPECT_EQ(tools_.PageCount(InRoot("twice.pdf")), 2);
    EXPECT_THAT(warnings, HasSubstr(test.warning));
    Run split = RunProcessor("pdf-split", Dict({{"file", test.name}, {"output", "part-%d.pdf"}}));
    ASSERT_EQ(split.exitCode, 0) << Show(split.answer);
    EXPECT_TRUE(tools_.Checks(InRoot("part-1.pdf")));
  }
}

// What a writing operation writes, every reading operation reads again: no output names
// qpdf reads back otherwise, or has a shape poppler and qpdf read apart.
TEST_F(PdfFidelity, EveryOutputIsReadAgainByEveryReadingOperation) {
  WriteFile(InRoot("page-inside.pdf"),
            pdf::samples::PageTreeShapePdf(pdf::samples::PageTreeShape::kPageInsideKids));
  WriteFile(InRoot("not-listed.pdf"),
            pdf::samples::FormFaultPdf(pdf::samples::FormFault::kWidgetNotListed));
  // A name whose "#" starts no hex code, as some writers leave in font dictionaries: qpdf
  // writes it in a way it then reads with a warning of its own.
  std::string three = ReadFile(InRoot("three.pdf"));
  std::size_t font = three.find("/Type /Font");
  ASSERT_NE(font, std::string::npos);
  WriteFile(InRoot("stray-hash.pdf"), three.replace(font, 11, "/Ty#e /Font"));
  const std::pair<const char*, KQ_TDict> readers[] = {
      {"pdf-info", Dict({{"file", "o.pdf"}})},
      {"pdf-text", Dict({{"file", "o.pdf"}})},
      {"pdf-render",
       Dict({{"file", "o.pdf"}, {"pages", "1"}, {"dpi", "20"}, {"output", "r-%d.png"}})},
      {"pdf-bookmarks", Dict({{"file", "o.pdf"}})},
      {"pdf-attachments", Dict({{"file", "o.pdf"}})},
  };
  for (const char* input : {"three.pdf", "stray-hash.pdf", "stream-resources.pdf",
                            "page-inside.pdf", "not-listed.pdf"}) {
    for (const auto& [writer, parameters] : WritingRuns(input)) {
      SCOPED_TRACE(std::string(input) + " " + writer);
      fs::remove(InRoot("o.pdf"));
      Run written = RunProcessor(writer, parameters);
      ASSERT_EQ(written.exitCode, 0) << Show(written.answer);
      for (const auto& [reader, readerParameters] : readers) {
        Run read = RunProcessor(reader, readerParameters);
        EXPECT_EQ(read.exitCode, 0) << reader << ": " << Show(read.answer);
      }
    }
  }
}

}  // namespace

}  // namespace vtps_test
