// The document operations (flatten, metadata, watermark, page numbers, attachments,
// bookmarks) run as the server runs them, on PDFs the test makes; results are checked with
// Debian's qpdf, pdftotext and pdfinfo where they can tell.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "platform/kqtypes/kqtypes.h"
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

class PdfDocumentOperations : public vtps_test::PdfRootTest {
 protected:
  void SetUp() override {
    PdfRootTest::SetUp();
    vtps_test::MakeFeaturePdfs(Root());
  }

  // Runs a job that must fail: the error holds `error` and the root is left as it was.
  void ExpectRefused(const std::string& program, const KQ_TDict& parameters,
                     const std::string& error,
                     std::vector<std::pair<std::string, std::string>> environment = {}) {
    SCOPED_TRACE(program + " " + Show(parameters));
    auto before = vtps_test::FolderSnapshot(Root());
    Run run = RunProcessor(program, parameters, environment);
    EXPECT_EQ(run.exitCode, 1) << Show(run.answer);
    EXPECT_THAT(Text(run.answer, "error"), HasSubstr(error));
    EXPECT_EQ(run.answer.Count(), 1u) << Show(run.answer);
    EXPECT_TRUE(vtps_test::FolderSnapshot(Root()) == before) << "the run changed the root";
  }

  // The number of annotations the first page of `pdf` lists, as qpdf reads them.
  std::size_t Annotations(const std::string& pdf) {
    nlohmann::json json = nlohmann::json::parse(
        Tool(QPDF_PROGRAM, {"--json=2", "--json-key=pages", "--json-key=qpdf", InRoot(pdf)}));
    const auto& page = json["qpdf"][1]["obj:" + json["pages"][0]["object"].get<std::string>()];
    const auto& annotations = page["value"]["/Annots"];
    if (annotations.is_string())  // an indirect array
      return json["qpdf"][1]["obj:" + annotations.get<std::string>()]["value"].size();
    return annotations.size();
  }
};

TEST_F(PdfDocumentOperations, FlattenTurnsFieldsAndAnnotationsIntoPageContent) {
  Run both = RunProcessor("pdf-flatten", Dict({{"file", "form.pdf"}, {"output", "flat.pdf"}}));
  ASSERT_EQ(both.exitCode, 0) << Show(both.answer);
  EXPECT_EQ(Text(both.answer, "fields"), "1");
  EXPECT_EQ(Text(both.answer, "annotations"), "1");
  EXPECT_TRUE(tools_.Checks(InRoot("flat.pdf")));
  std::string text = tools_.PageText(InRoot("flat.pdf"), 1);
  EXPECT_THAT(text, HasSubstr("Hello form"));
  EXPECT_THAT(text, HasSubstr("NOTE"));
  nlohmann::json json = nlohmann::json::parse(Tool(
      QPDF_PROGRAM, {"--json=2", "--json-key=acroform", "--json-key=pages", InRoot("flat.pdf")}));
  EXPECT_FALSE(json["acroform"]["hasacroform"].get<bool>());
  // The link had no appearance to draw and stays an annotation; the field is page content.
  EXPECT_EQ(Annotations("flat.pdf"), 1u);

  Run annotationsOnly = RunProcessor(
      "pdf-flatten", Dict({{"file", "form.pdf"}, {"output", "notes.pdf"}, {"forms", "false"}}));
  ASSERT_EQ(annotationsOnly.exitCode, 0) << Show(annotationsOnly.answer);
  EXPECT_EQ(Text(annotationsOnly.answer, "fields"), "0");
  EXPECT_EQ(Text(annotationsOnly.answer, "annotations"), "1");
  json = nlohmann::json::parse(Tool(
      QPDF_PROGRAM, {"--json=2", "--json-key=acroform", "--json-key=pages", InRoot("notes.pdf")}));
  EXPECT_TRUE(json["acroform"]["hasacroform"].get<bool>());
  EXPECT_EQ(json["acroform"]["fields"].size(), 1u);
  EXPECT_EQ(Annotations("notes.pdf"), 2u);
  EXPECT_THAT(tools_.PageText(InRoot("notes.pdf"), 1), HasSubstr("NOTE"));

  ExpectRefused("pdf-flatten", Dict({{"file", "form.pdf"}, {"output", "x.pdf"}, {"forms", "no"}}),
                "parameter \"forms\" is \"no\"");
}

TEST_F(PdfDocumentOperations, MetadataIsReadAndChangedTogetherWithItsXmpPacket) {
  Run read = RunProcessor("pdf-metadata", Dict({{"file", "xmp.pdf"}}));
  ASSERT_EQ(read.exitCode, 0) << Show(read.answer);
  const KQ_TDict* info = read.answer["info"].DynamicCast<KQ_TDict>();
  const KQ_TDict* xmp = read.answer["xmp"].DynamicCast<KQ_TDict>();
  ASSERT_TRUE(info != nullptr && xmp != nullptr) << Show(read.answer);
  EXPECT_EQ(Text(*info, "Title"), "Old title");
  EXPECT_EQ(Text(*xmp, "title"), "Old title");
  EXPECT_EQ(Text(*xmp, "producer"), "Maker");

  Run set = RunProcessor("pdf-metadata",
                         Dict({{"file", "xmp.pdf"},
                               {"output", "new.pdf"},
                               {"set", Dict({{"Title", "Nouveau titre \xe2\x82\xac"},
                                             {"Author", ""},
                                             {"CreationDate", "2026-12-09T14:30:05+01:00"}})}}));
  ASSERT_EQ(set.exitCode, 0) << Show(set.answer);
  info = set.answer["info"].DynamicCast<KQ_TDict>();
  xmp = set.answer["xmp"].DynamicCast<KQ_TDict>();
  ASSERT_TRUE(info != nullptr && xmp != nullptr) << Show(set.answer);
  EXPECT_EQ(Text(*info, "CreationDate"), "2026-12-09T14:30:05+01:00");
  EXPECT_EQ(Text(*xmp, "createDate"), "2026-12-09T14:30:05+01:00");
  EXPECT_EQ(Text(*xmp, "creator"), "(not a string)");  // removed with Author

  // pdfinfo reads the information dictionary and the packet independently of our code.
  std::string shown = Tool(PDFINFO_PROGRAM, {"-isodates", InRoot("new.pdf")});
  EXPECT_THAT(shown, HasSubstr("Nouveau titre \xe2\x82\xac"));
  EXPECT_THAT(shown, HasSubstr("2026-12-09T14:30:05+01"));
  EXPECT_THAT(shown, Not(HasSubstr("Author")));
  std::string packet = Tool(PDFINFO_PROGRAM, {"-meta", InRoot("new.pdf")});
  EXPECT_THAT(packet, HasSubstr("Nouveau titre \xe2\x82\xac"));
  EXPECT_THAT(packet, Not(HasSubstr("Old title")));
  EXPECT_THAT(packet, Not(HasSubstr("Ann")));
  EXPECT_THAT(packet, HasSubstr("2026-12-09T14:30:05+01:00"));
  EXPECT_TRUE(tools_.Checks(InRoot("new.pdf")));

  // A document without a packet gets its entries only.
  Run plain = RunProcessor("pdf-metadata", Dict({{"file", "three.pdf"},
                                                 {"output", "three.pdf"},
                                                 {"set", Dict({{"Keywords", "a, b"}})}}));
  ASSERT_EQ(plain.exitCode, 0) << Show(plain.answer);
  EXPECT_THAT(Tool(PDFINFO_PROGRAM, {InRoot("three.pdf")}), HasSubstr("a, b"));
  EXPECT_TRUE(plain.answer["xmp"].IsNull());
}

TEST_F(PdfDocumentOperations, MetadataRefusesHostilePacketsAndBadValues) {
  for (const char* file : {"xmp-entities.pdf", "xmp-deep.pdf"}) {
    Run read = RunProcessor("pdf-metadata", Dict({{"file", file}}));
    ASSERT_EQ(read.exitCode, 0) << Show(read.answer);
    EXPECT_THAT(Text(read.answer, "xmpError"), HasSubstr("XMP metadata")) << file;
  }
  // A packet past the stream limit is not read, and says so.
  Run limited = RunProcessor("pdf-metadata", Dict({{"file", "xmp-deep.pdf"}}),
                             {{"VTPS_PDF_MAX_STREAM_BYTES", "1024"}});
  ASSERT_EQ(limited.exitCode, 0) << Show(limited.answer);
  EXPECT_THAT(Text(limited.answer, "xmpError"), HasSubstr("(VTPS_PDF_MAX_STREAM_BYTES)"));
  ExpectRefused(
      "pdf-metadata",
      Dict({{"file", "xmp-entities.pdf"}, {"output", "x.pdf"}, {"set", Dict({{"Title", "t"}})}}),
      "document type declaration, which is refused, so it cannot be kept in agreement");
  ExpectRefused(
      "pdf-metadata",
      Dict({{"file", "xmp-deep.pdf"}, {"output", "x.pdf"}, {"set", Dict({{"Title", "t"}})}}),
      "not well-formed");
  ExpectRefused(
      "pdf-metadata",
      Dict({{"file", "xmp.pdf"}, {"output", "x.pdf"}, {"set", Dict({{"ModDate", "yesterday"}})}}),
      "parameter \"set.ModDate\" is \"yesterday\"; it must be an ISO 8601 date");
  ExpectRefused(
      "pdf-metadata",
      Dict({{"file", "xmp.pdf"}, {"output", "x.pdf"}, {"set", Dict({{"Colour", "red"}})}}),
      "parameter \"set\" holds \"Colour\"");
  ExpectRefused("pdf-metadata", Dict({{"file", "xmp.pdf"}, {"output", "x.pdf"}}),
                "parameter \"output\" is given without \"set\"");
}

TEST_F(PdfDocumentOperations, WatermarkAndPageNumbersAreExtractableTextOnTheChosenPages) {
  Run mark = RunProcessor("pdf-watermark", Dict({{"file", "three.pdf"},
                                                 {"output", "w.pdf"},
                                                 {"pages", "2-3"},
                                                 {"text", "CONFIDENTIAL \xc3\x89t\xc3\xa9"},
                                                 {"angle", "0"},
                                                 {"color", "#ff0000"},
                                                 {"opacity", "50"},
                                                 {"position", "top-right"}}));
  ASSERT_EQ(mark.exitCode, 0) << Show(mark.answer);
  EXPECT_TRUE(tools_.Checks(InRoot("w.pdf")));
  EXPECT_EQ(tools_.PageText(InRoot("w.pdf"), 1), "Page 1");
  EXPECT_THAT(tools_.PageText(InRoot("w.pdf"), 2), HasSubstr("CONFIDENTIAL \xc3\x89t\xc3\xa9"));
  EXPECT_THAT(tools_.PageText(InRoot("w.pdf"), 3), HasSubstr("Page 3"));

  // Under the content, turned, on a page shown turned: still the page's text.
  Run under = RunProcessor("pdf-watermark", Dict({{"file", "mixed.pdf"},
                                                  {"output", "u.pdf"},
                                                  {"text", "DRAFT"},
                                                  {"angle", "0"},
                                                  {"under", "true"}}));
  ASSERT_EQ(under.exitCode, 0) << Show(under.answer);
  for (int page = 1; page <= 3; ++page)
    EXPECT_THAT(tools_.PageText(InRoot("u.pdf"), page), HasSubstr("DRAFT")) << page;

  Run numbers = RunProcessor("pdf-page-numbers", Dict({{"file", "three.pdf"},
                                                       {"output", "n.pdf"},
                                                       {"pages", "3,2"},
                                                       {"pattern", "Page {n} of {total}"},
                                                       {"start", "5"}}));
  ASSERT_EQ(numbers.exitCode, 0) << Show(numbers.answer);
  EXPECT_EQ(tools_.PageText(InRoot("n.pdf"), 1), "Page 1");
  EXPECT_THAT(tools_.PageText(InRoot("n.pdf"), 2), HasSubstr("Page 5 of 6"));
  EXPECT_THAT(tools_.PageText(InRoot("n.pdf"), 3), HasSubstr("Page 6 of 6"));

  ExpectRefused(
      "pdf-watermark",
      Dict({{"file", "three.pdf"}, {"output", "x.pdf"}, {"text", "\xe6\x97\xa5\xe6\x9c\xac"}}),
      "parameter \"text\" holds \"\xe6\x97\xa5\", which the standard font cannot show");
  ExpectRefused(
      "pdf-watermark",
      Dict({{"file", "three.pdf"}, {"output", "x.pdf"}, {"text", "a"}, {"opacity", "101"}}),
      "parameter \"opacity\" is \"101\"; it must be a whole number from 0 to 100");
  ExpectRefused("pdf-watermark",
                Dict({{"file", "three.pdf"}, {"output", "x.pdf"}, {"text", "a"}, {"color", "red"}}),
                "parameter \"color\" is \"red\"");
  ExpectRefused("pdf-page-numbers",
                Dict({{"file", "three.pdf"}, {"output", "x.pdf"}, {"pattern", "{page}"}}),
                "parameter \"pattern\" is \"{page}\"");
  ExpectRefused("pdf-page-numbers",
                Dict({{"file", "three.pdf"}, {"output", "x.pdf"}, {"position", "middle"}}),
                "parameter \"position\" is \"middle\"");
}

TEST_F(PdfDocumentOperations, AttachmentsAreListedAddedAndExtractedUnderSafeNames) {
  Run list = RunProcessor("pdf-attachments", Dict({{"file", "attached.pdf"}}));
  ASSERT_EQ(list.exitCode, 0) << Show(list.answer);
  EXPECT_EQ(Text(list.answer, "count"), "3");
  KQ_TArray entries = AnswerArray(list.answer, "attachment");
  ASSERT_EQ(entries.Count(), 3u);
  // In the order of their names: again, evil, notes.
  EXPECT_EQ(Text(Element(entries, 2), "name"), "notes");
  EXPECT_EQ(Text(Element(entries, 2), "file"), "notes.txt");
  EXPECT_EQ(Text(Element(entries, 2), "size"), "11");
  EXPECT_EQ(Text(Element(entries, 2), "description"), "The notes");
  EXPECT_EQ(Text(Element(entries, 1), "file"), "../../evil.txt");

  // A file already in the folder is never replaced.
  fs::create_directory(InRoot("out"));
  vtps_test::WriteFile(InRoot("out/notes.txt"), "mine");
  Run extract =
      RunProcessor("pdf-attachments", Dict({{"file", "attached.pdf"}, {"extract", "out"}}));
  ASSERT_EQ(extract.exitCode, 0) << Show(extract.answer);
  KQ_TArray files = AnswerArray(extract.answer, "file");
  ASSERT_EQ(files.Count(), 3u);
  EXPECT_EQ(Text(Element(files, 0), "file"), "out/notes (2).txt");
  EXPECT_EQ(Text(Element(files, 1), "file"), "out/evil.txt");
  EXPECT_EQ(Text(Element(files, 2), "file"), "out/notes (3).txt");
  EXPECT_EQ(vtps_test::ReadFile(InRoot("out/notes.txt")), "mine");
  EXPECT_EQ(vtps_test::ReadFile(InRoot("out/notes (2).txt")), "second notes");
  EXPECT_EQ(vtps_test::ReadFile(InRoot("out/notes (3).txt")), "hello notes");
  EXPECT_EQ(vtps_test::ReadFile(InRoot("out/evil.txt")), "evil");
  EXPECT_FALSE(fs::exists(InRoot("evil.txt")));
  EXPECT_FALSE(fs::exists(dir_.File("evil.txt")));

  Run add = RunProcessor(
      "pdf-attachments",
      Dict({{"file", "three.pdf"},
            {"output", "with.pdf"},
            {"add", Array({"out/evil.txt", Dict({{"file", "info.pdf"},
                                                 {"name", "Report \xc3\xa9t\xc3\xa9.pdf"},
                                                 {"description", "The report"}})})}}));
  ASSERT_EQ(add.exitCode, 0) << Show(add.answer);
  EXPECT_EQ(Text(add.answer, "count"), "2");
  std::string listed = Tool(QPDF_PROGRAM, {"--list-attachments", "--verbose", InRoot("with.pdf")});
  EXPECT_THAT(listed, HasSubstr("evil.txt"));
  EXPECT_THAT(listed, HasSubstr("Report \xc3\xa9t\xc3\xa9.pdf"));
  EXPECT_EQ(Tool(QPDF_PROGRAM, {"--show-attachment=evil.txt", InRoot("with.pdf")}), "evil");
  EXPECT_EQ(
      Tool(QPDF_PROGRAM, {"--show-attachment=Report \xc3\xa9t\xc3\xa9.pdf", InRoot("with.pdf")}),
      vtps_test::ReadFile(InRoot("info.pdf")));

  ExpectRefused("pdf-attachments",
                Dict({{"file", "attached.pdf"},
                      {"output", "x.pdf"},
                      {"add", Array({"out/notes.txt"})},
                      {"extract", "out"}}),
                "cannot be given together");
  ExpectRefused("pdf-attachments",
                Dict({{"file", "with.pdf"}, {"output", "x.pdf"}, {"add", Array({"out/evil.txt"})}}),
                "already holds an attachment named \"evil.txt\"");
  ExpectRefused("pdf-attachments",
                Dict({{"file", "three.pdf"}, {"output", "x.pdf"}, {"add", Array({"../job.xml"})}}),
                "leads outside VTPS_PDF_ROOT");
  ExpectRefused("pdf-attachments", Dict({{"file", "attached.pdf"}, {"extract", "../"}}),
                "leads outside VTPS_PDF_ROOT");
}

TEST_F(PdfDocumentOperations, AttachmentSizesAreBounded) {
  std::vector<std::pair<std::string, std::string>> small = {
      {"VTPS_PDF_MAX_ATTACHMENT_BYTES", "1024"}};
  vtps_test::WriteFile(InRoot("big.bin"), std::string(1025, 'x'));
  ExpectRefused("pdf-attachments",
                Dict({{"file", "three.pdf"}, {"output", "x.pdf"}, {"add", Array({"big.bin"})}}),
                "parameter \"add[1]\": file \"big.bin\" holds more than 1024 bytes "
                "(VTPS_PDF_MAX_ATTACHMENT_BYTES)",
                small);
  Run add = RunProcessor(
      "pdf-attachments",
      Dict({{"file", "three.pdf"}, {"output", "big-inside.pdf"}, {"add", Array({"big.bin"})}}));
  ASSERT_EQ(add.exitCode, 0) << Show(add.answer);
  ExpectRefused("pdf-attachments", Dict({{"file", "big-inside.pdf"}}),
                "attachment \"big.bin\" holds more than 1024 bytes (VTPS_PDF_MAX_ATTACHMENT_BYTES)",
                small);
  fs::create_directory(InRoot("out"));
  ExpectRefused("pdf-attachments", Dict({{"file", "big-inside.pdf"}, {"extract", "out"}}),
                "(VTPS_PDF_MAX_ATTACHMENT_BYTES)", small);
  ExpectRefused("pdf-attachments", Dict({{"file", "three.pdf"}}),
                "VTPS_PDF_MAX_ATTACHMENT_BYTES is \"12\"",
                {{"VTPS_PDF_MAX_ATTACHMENT_BYTES", "12"}});
}

TEST_F(PdfDocumentOperations, BookmarksAreReadAndWrittenAsNestedEntries) {
  Run read = RunProcessor("pdf-bookmarks", Dict({{"file", "outline.pdf"}}));
  ASSERT_EQ(read.exitCode, 0) << Show(read.answer);
  EXPECT_EQ(Text(read.answer, "count"), "3");
  KQ_TArray top = AnswerArray(read.answer, "bookmark");
  ASSERT_EQ(top.Count(), 2u) << Show(read.answer);
  EXPECT_EQ(Text(Element(top, 0), "title"), "Chapter 1");
  EXPECT_EQ(Text(Element(top, 0), "page"), "1");
  KQ_TArray children = AnswerArray(Element(top, 0), "bookmark");
  ASSERT_EQ(children.Count(), 1u);
  EXPECT_EQ(Text(Element(children, 0), "title"), "Section 1.1");
  EXPECT_EQ(Text(Element(children, 0), "page"), "2");
  EXPECT_EQ(Text(Element(top, 1), "page"), "3");

  Run set = RunProcessor(
      "pdf-bookmarks",
      Dict(
          {{"file", "three.pdf"},
           {"output", "marked.pdf"},
           {"set", Array({Dict({{"title", "Intro \xc3\xa9"},
                                {"page", "1"},
                                {"bookmark", Array({Dict({{"title", "Detail"}, {"page", "3"}})})}}),
                          Dict({{"title", "No page"}})})}}));
  ASSERT_EQ(set.exitCode, 0) << Show(set.answer);
  EXPECT_EQ(Text(set.answer, "count"), "3");
  EXPECT_TRUE(tools_.Checks(InRoot("marked.pdf")));
  // qpdf reads the outline independently: titles and target pages.
  nlohmann::json outlines = nlohmann::json::parse(
      Tool(QPDF_PROGRAM, {"--json=2", "--json-key=outlines", InRoot("marked.pdf")}))["outlines"];
  ASSERT_EQ(outlines.size(), 2u) << outlines.dump();
  EXPECT_EQ(outlines[0]["title"], "Intro \xc3\xa9");
  EXPECT_EQ(outlines[0]["destpageposfrom1"], 1);
  EXPECT_EQ(outlines[0]["kids"][0]["title"], "Detail");
  EXPECT_EQ(outlines[0]["kids"][0]["destpageposfrom1"], 3);
  EXPECT_EQ(outlines[1]["title"], "No page");

  Run removed = RunProcessor("pdf-bookmarks",
                             Dict({{"file", "outline.pdf"}, {"output", "bare.pdf"}, {"set", ""}}));
  ASSERT_EQ(removed.exitCode, 0) << Show(removed.answer);
  EXPECT_TRUE(nlohmann::json::parse(Tool(
      QPDF_PROGRAM, {"--json=2", "--json-key=outlines", InRoot("bare.pdf")}))["outlines"]
                  .empty());

  ExpectRefused("pdf-bookmarks",
                Dict({{"file", "three.pdf"},
                      {"output", "x.pdf"},
                      {"set", Array({Dict({{"title", "x"}, {"page", "4"}})})}}),
                "parameter \"set[1].page\" is \"4\"; it must be a whole number from 1 to 3");
}

TEST_F(PdfDocumentOperations, HostileOutlinesAreBounded) {
  Run loop = RunProcessor("pdf-bookmarks", Dict({{"file", "outline-loop.pdf"}}));
  ASSERT_EQ(loop.exitCode, 0) << Show(loop.answer);
  EXPECT_EQ(Text(loop.answer, "count"), "2");
  EXPECT_THAT(Show(loop.answer), HasSubstr("a second time (a loop)"));
  ExpectRefused("pdf-bookmarks", Dict({{"file", "outline-deep.pdf"}}),
                "its outline nests deeper than 64 levels");

  // The same bound for an outline a job gives.
  KQ_TDict entry = Dict({{"title", "Leaf"}});
  for (int level = 0; level < 70; ++level)
    entry = Dict({{"title", "Level"}, {"bookmark", Array({entry})}});
  ExpectRefused("pdf-bookmarks",
                Dict({{"file", "three.pdf"}, {"output", "x.pdf"}, {"set", Array({entry})}}),
                "nests deeper than 64 levels");
}

}  // namespace

}  // namespace vtps_test
