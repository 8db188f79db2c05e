// The PDF processors through the whole system: ntr-server serves a configuration naming
// them, VantricProcessServer runs them, kqm-call sends one request per operation.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>

#include "platform/os/child_process.h"
#include "tests/pdf_feature_files.h"
#include "tests/pdf_test_files.h"
#include "tests/support/program_runner.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using ::testing::HasSubstr;

class PdfProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    std::uint16_t serverPort = vtps_test::FreePort();
    std::uint16_t ntrPort = vtps_test::FreePort();
    vtps_test::WriteFile(dir_.File("services"), vtps_test::ServicesText(serverPort, ntrPort));
    fs::create_directory(dir_.File("jobs"));
    fs::create_directory(Root());
    vtps_test::MakeTestPdfs(Root());
    vtps_test::MakeFeaturePdfs(Root());

    std::string configuration =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<configuration><Servers><VantricProcessServer><Configuration>\n"
        "<ProgPathEnvVar>VTPS_PDF_TEST_HOME</ProgPathEnvVar>\n"
        "<ProgramDirectory>processors/</ProgramDirectory>\n"
        "<WorkingDirectory type=\"url\">" +
        vtps_test::FileUrl(dir_.File("jobs")) + "</WorkingDirectory>\n";
    for (const vtps_test::PdfOperation& operation : vtps_test::PdfOperations())
      configuration += "<" + std::string(operation.method) + ">" + operation.name + "</" +
                       operation.method + ">\n";
    configuration += "</Configuration></VantricProcessServer></Servers></configuration>\n";
    vtps_test::WriteFile(dir_.File("ntr.xml"), configuration);

    run_.environment = {{"KQM_SERVICES", dir_.File("services")},
                        {"KQM_DEBUG_LOG", dir_.File("debug.log")},
                        {"KQM_DEBUG_LEVEL", "4"},
                        {"VTPS_PDF_TEST_HOME", VTPS_BUILD_DIR},
                        {"VTPS_PDF_ROOT", Root()}};
  }

  void StartServers() {
    ntr_.emplace(run_.Start("tools/ntr-server/ntr-server", {dir_.File("ntr.xml")}, "ntr"));
    ASSERT_TRUE(vtps_test::WaitUntil([&] {
      return run_.Call({"NTR", "KeysAt", "\"\""}).exitCode == 0;
    })) << run_.Err("ntr");
    server_.emplace(run_.Start("server/VantricProcessServer", {}, "server"));
    ASSERT_TRUE(vtps_test::WaitUntil([&] {
      return run_.Call({"VantricProcessServer", "Help"}).exitCode == 0;
    })) << vtps_test::ReadFile(dir_.File("debug.log"));
  }

  std::string Root() const { return dir_.File("root"); }
  std::string InRoot(const std::string& name) const { return Root() + "/" + name; }

  vtps_test::TempDir dir_;
  vtps_test::ProgramRunner run_{dir_};
  std::optional<os::ChildProcess> ntr_;
  std::optional<os::ChildProcess> server_;
  vtps_test::PdfTools tools_{dir_.Path().string()};
};

TEST_F(PdfProcess, EachOperationAnswersThroughTheServer) {
  ASSERT_NO_FATAL_FAILURE(StartServers());
  struct Case {
    const char* method;
    const char* parameters;
    std::function<void(const json&)> check;
  };
  const Case cases[] = {
      {"PdfInfo", R"({"file": "info.pdf"})",
       [&](const json& answer) {
         EXPECT_EQ(answer["pageCount"], "1");
         EXPECT_EQ(answer["info"]["Title"], "Quarterly report");
         EXPECT_EQ(answer["pageArray"]["page"][0]["width"], "612");
       }},
      {"PdfMerge",
       R"({"input": ["three.pdf", {"file": "mixed.pdf", "pages": "1"}], "output": "m.pdf"})",
       [&](const json& answer) {
         EXPECT_EQ(answer["pageCount"], "4");
         EXPECT_EQ(tools_.PageCount(InRoot("m.pdf")), 4);
       }},
      {"PdfExtract", R"({"file": "three.pdf", "pages": "2", "output": "x.pdf"})",
       [&](const json&) { EXPECT_EQ(tools_.PageText(InRoot("x.pdf"), 1), "Page 2"); }},
      {"PdfSplit", R"({"file": "three.pdf", "output": "part-%d.pdf"})",
       [&](const json& answer) {
         EXPECT_EQ(answer["outputArray"]["output"],
                   json::array({"part-1.pdf", "part-2.pdf", "part-3.pdf"}));
         EXPECT_EQ(tools_.PageCount(InRoot("part-3.pdf")), 1);
       }},
      {"PdfRotate", R"({"file": "three.pdf", "angle": "90", "output": "r.pdf"})",
       [&](const json&) {
         EXPECT_THAT(tools_.Rotations(InRoot("r.pdf")), ::testing::ElementsAre(90, 90, 90));
       }},
      {"PdfEncrypt",
       R"({"file": "three.pdf", "output": "e.pdf", "userPassword": "u", "ownerPassword": "o"})",
       [&](const json&) { EXPECT_TRUE(tools_.NeedsPassword(InRoot("e.pdf"))); }},
      {"PdfDecrypt", R"({"file": "locked.pdf", "password": "user-pw", "output": "d.pdf"})",
       [&](const json&) { EXPECT_FALSE(tools_.NeedsPassword(InRoot("d.pdf"))); }},
      {"PdfStamp", R"({"file": "three.pdf", "stamp": "stamp.pdf", "output": "s.pdf"})",
       [&](const json&) { EXPECT_THAT(tools_.PageText(InRoot("s.pdf"), 3), HasSubstr("STAMP")); }},
      {"PdfOptimize", R"({"file": "three.pdf", "output": "o.pdf"})",
       [&](const json& answer) {
         EXPECT_EQ(answer["bytesAfter"], std::to_string(fs::file_size(InRoot("o.pdf"))));
         EXPECT_TRUE(tools_.Linearized(InRoot("o.pdf")));
       }},
      {"PdfRender", R"({"file": "three.pdf", "pages": "1", "output": "p-%d.png"})",
       [&](const json& answer) {
         EXPECT_EQ(answer["outputArray"]["output"][0]["width"], "612");
         EXPECT_EQ(vtps_test::PngSize(InRoot("p-1.png")), std::make_pair(612, 792));
       }},
      {"PdfText", R"({"file": "three.pdf", "pages": "z"})",
       [&](const json& answer) { EXPECT_EQ(answer["pageArray"]["page"][0]["text"], "Page 3"); }},
      {"PdfFlatten", R"({"file": "form.pdf", "output": "flat.pdf"})",
       [&](const json& answer) {
         EXPECT_EQ(answer["fields"], "1");
         EXPECT_THAT(tools_.PageText(InRoot("flat.pdf"), 1), HasSubstr("Hello form"));
       }},
      {"PdfMetadata", R"({"file": "xmp.pdf", "output": "meta.pdf", "set": {"Title": "New"}})",
       [&](const json& answer) {
         EXPECT_EQ(answer["info"]["Title"], "New");
         EXPECT_EQ(answer["xmp"]["title"], "New");
       }},
      {"PdfWatermark", R"({"file": "three.pdf", "text": "SECRET", "output": "w.pdf"})",
       [&](const json&) { EXPECT_THAT(tools_.PageText(InRoot("w.pdf"), 2), HasSubstr("SECRET")); }},
      {"PdfPageNumbers", R"({"file": "three.pdf", "pattern": "- {n} -", "output": "n.pdf"})",
       [&](const json&) { EXPECT_THAT(tools_.PageText(InRoot("n.pdf"), 3), HasSubstr("- 3 -")); }},
      {"PdfAttachments", R"({"file": "attached.pdf"})",
       [&](const json& answer) {
         EXPECT_EQ(answer["count"], "3");
         EXPECT_EQ(answer["attachmentArray"]["attachment"][2]["size"], "11");
       }},
      {"PdfBookmarks", R"({"file": "outline.pdf"})",
       [&](const json& answer) {
         EXPECT_EQ(answer["bookmarkArray"]["bookmark"][0]["bookmarkArray"]["bookmark"][0]["page"],
                   "2");
       }},
      // PdfRender's page becomes a scanned page without text, which PdfOcr makes searchable.
      {"PdfFromImages", R"({"images": ["p-1.png"], "output": "scan.pdf"})",
       [&](const json& answer) {
         EXPECT_EQ(answer["pageCount"], "1");
         EXPECT_EQ(tools_.PageCount(InRoot("scan.pdf")), 1);
         EXPECT_EQ(tools_.PageText(InRoot("scan.pdf"), 1), "");
       }},
      {"PdfOcr", R"({"file": "scan.pdf", "output": "searchable.pdf", "dpi": "150"})",
       [&](const json& answer) {
         EXPECT_EQ(answer["pagesDone"], "1");
         EXPECT_EQ(tools_.PageText(InRoot("searchable.pdf"), 1), "Page 1");
       }},
      {"PdfCompress", R"({"file": "scan.pdf", "output": "c.pdf"})",
       [&](const json& answer) {
         EXPECT_EQ(answer["bytesAfter"], std::to_string(fs::file_size(InRoot("c.pdf"))));
         EXPECT_LE(fs::file_size(InRoot("c.pdf")), fs::file_size(InRoot("scan.pdf")));
       }},
      {"PdfRepair", R"({"file": "shifted.pdf", "output": "fixed.pdf"})",
       [&](const json& answer) {
         EXPECT_EQ(answer["repaired"], "true");
         EXPECT_FALSE(answer["problemArray"]["problem"].empty());
         EXPECT_TRUE(tools_.Checks(InRoot("fixed.pdf")));
       }},
  };
  // A file whose cross-reference table points beside every object.
  std::string whole = vtps_test::ReadFile(InRoot("three.pdf"));
  vtps_test::WriteFile(InRoot("shifted.pdf"), "%PDF-1.3\n%padding\n" + whole.substr(9));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.method);
    auto call = run_.Call({"VantricProcessServer", c.method, c.parameters});
    ASSERT_EQ(call.exitCode, 0) << call.err;
    json answer = json::parse(call.out);
    EXPECT_FALSE(answer.contains("error")) << call.out;
    c.check(answer);
  }
  // Every run succeeded, so the server removed every job file.
  EXPECT_TRUE(fs::is_empty(dir_.File("jobs")));
}

TEST_F(PdfProcess, AFailureComesBackAsTheErrorAnswer) {
  ASSERT_NO_FATAL_FAILURE(StartServers());
  auto call = run_.Call({"VantricProcessServer", "PdfInfo", R"({"file": "../outside.pdf"})"});
  ASSERT_EQ(call.exitCode, 0) << call.err;
  json answer = json::parse(call.out);
  EXPECT_EQ(
      answer,
      json({{"error", "parameter \"file\": \"../outside.pdf\" leads outside VTPS_PDF_ROOT"}}));
  EXPECT_THAT(vtps_test::ReadFile(dir_.File("debug.log")), HasSubstr("Failed to spawn command"));
}

}  // namespace
