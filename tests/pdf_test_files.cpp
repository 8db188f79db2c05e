#include "tests/pdf_test_files.h"

#include <filesystem>
#include <nlohmann/json.hpp>

#include "platform/os/child_process.h"
#include "processors/pdf/samples/sample_pdf.h"
#include "tests/support/test_support.h"

namespace vtps_test {

namespace fs = std::filesystem;

const std::vector<PdfOperation>& PdfOperations() {
  static const std::vector<PdfOperation> operations = {
#include "pdf_operations.inc"
  };
  return operations;
}

void MakeTestPdfs(const std::string& folder) {
  auto path = [&](const char* name) { return (fs::path(folder) / name).string(); };
  pdf::samples::SampleDocument three;
  three.pages = pdf::samples::TextPages(3);
  pdf::samples::WriteSamplePdf(three, path("three.pdf"));

  pdf::samples::SampleDocument mixed;
  mixed.pages = {{595, 842, "Portrait", 0, std::nullopt},
                 {842, 595, "Landscape", 90, std::nullopt},
                 {612, 792, "Cropped", 0, std::array<double, 4>{36, 36, 576, 756}}};
  pdf::samples::WriteSamplePdf(mixed, path("mixed.pdf"));

  pdf::samples::SampleDocument info;
  info.pages = pdf::samples::TextPages(1);
  info.info = {{"Title", "Quarterly report"}, {"Author", "\xc3\x89mile Zola"}};
  pdf::samples::WriteSamplePdf(info, path("info.pdf"));

  pdf::samples::SampleDocument locked = three;
  locked.userPassword = "user-pw";
  locked.ownerPassword = "owner-pw";
  pdf::samples::WriteSamplePdf(locked, path("locked.pdf"));

  std::string whole = ReadFile(path("three.pdf"));
  WriteFile(path("damaged.pdf"), whole.substr(0, whole.size() * 2 / 3));

  pdf::samples::SampleDocument stamp;
  stamp.pages = {{612, 792, "STAMP", 0, std::nullopt}};
  pdf::samples::WriteSamplePdf(stamp, path("stamp.pdf"));

  pdf::samples::SampleDocument big;
  big.pages = {{3000, 3000, "Big", 0, std::nullopt}};
  pdf::samples::WriteSamplePdf(big, path("big.pdf"));
}

ToolResult RunTool(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& scratchFolder) {
  os::ChildProcess::Options options;
  options.arguments = arguments;
  options.stdoutPath = (fs::path(scratchFolder) / "tool.out").string();
  os::ChildProcess child = os::ChildProcess::Start(program, options);
  ToolResult result;
  result.exitCode = child.WaitFor(std::chrono::seconds(60)).value_or(-1);
  result.out = ReadFile(options.stdoutPath);
  return result;
}

int PdfTools::PageCount(const std::string& pdf) const {
  ToolResult result = RunTool(QPDF_PROGRAM, {"--show-npages", pdf}, scratch_);
  return result.exitCode == 0 ? std::stoi(result.out) : -1;
}

bool PdfTools::Checks(const std::string& pdf) const {
  return RunTool(QPDF_PROGRAM, {"--check", pdf}, scratch_).exitCode == 0;
}

bool PdfTools::NeedsPassword(const std::string& pdf) const {
  return RunTool(QPDF_PROGRAM, {"--requires-password", pdf}, scratch_).exitCode == 0;
}

bool PdfTools::Linearized(const std::string& pdf) const {
  // A file that is not linearized passes the check too; only the wording differs.
  ToolResult result = RunTool(QPDF_PROGRAM, {"--check-linearization", pdf}, scratch_);
  return result.exitCode == 0 && result.out.find("no linearization errors") != std::string::npos;
}

std::vector<int> PdfTools::Rotations(const std::string& pdf, const std::string& password) const {
  ToolResult result = RunTool(
      QPDF_PROGRAM,
      {"--json=2", "--json-key=pages", "--json-key=qpdf", "--password=" + password, pdf}, scratch_);
  std::vector<int> rotations;
  if (result.exitCode != 0)
    return rotations;
  nlohmann::json json = nlohmann::json::parse(result.out);
  for (const auto& page : json["pages"]) {
    const auto& value = json["qpdf"][1]["obj:" + page["object"].get<std::string>()]["value"];
    rotations.push_back(value.contains("/Rotate") ? value["/Rotate"].get<int>() : 0);
  }
  return rotations;
}

std::string PdfTools::PageText(const std::string& pdf, int page,
                               const std::string& password) const {
  std::vector<std::string> arguments{"-f", std::to_string(page), "-l", std::to_string(page)};
  if (!password.empty())
    arguments.insert(arguments.end(), {"-upw", password});
  arguments.insert(arguments.end(), {pdf, "-"});
  std::string text = RunTool(PDFTOTEXT_PROGRAM, arguments, scratch_).out;
  text.erase(text.find_last_not_of(" \n\f") + 1);
  return text;
}

std::pair<int, int> PngSize(const std::string& path) {
  std::string bytes = ReadFile(path);
  if (bytes.size() < 24 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0)
    return {-1, -1};
  auto number = [&](std::size_t at) {
    int value = 0;
    for (std::size_t i = at; i < at + 4; ++i)
      value = value * 256 + static_cast<unsigned char>(bytes[i]);
    return value;
  };
  return {number(16), number(20)};
}

std::map<std::string, std::string> FolderSnapshot(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    files[entry.path().string()] = entry.is_regular_file() ? ReadFile(entry.path().string()) : "";
  return files;
}

}  // namespace vtps_test
