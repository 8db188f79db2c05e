// PdfRootTest: the fixture of the tests that run a PDF program as the server runs it. Each
// test gets a temporary folder whose "root" holds the PDFs the tests make, and runs a
// program on a job file there with VTPS_PDF_ROOT set to that root. One thread.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/kqtypes/kqtypes.h"
#include "tests/pdf_job.h"
#include "tests/pdf_test_files.h"
#include "tests/support/test_support.h"

namespace vtps_test {

class PdfRootTest : public ::testing::Test {
 protected:
  using Run = PdfJobRun;

  void SetUp() override {
    std::filesystem::create_directory(Root());
    MakeTestPdfs(Root());
  }

  std::string Root() const { return dir_.File("root"); }
  std::string InRoot(const std::string& name) const { return Root() + "/" + name; }

  // Runs `program` on a job file holding `parameters`, VTPS_PDF_ROOT set to Root().
  Run RunProcessor(const std::string& program, const KQ_TDict& parameters,
                   std::vector<std::pair<std::string, std::string>> environment = {}) {
    environment.emplace_back("VTPS_PDF_ROOT", Root());
    return RunPdfProgram(program, parameters, dir_.File("job.xml"), dir_.File("processor.err"),
                         environment);
  }

  // The standard output of a command-line tool run in the test's folder.
  std::string Tool(const char* program, const std::vector<std::string>& arguments) {
    return RunTool(program, arguments, dir_.Path().string()).out;
  }

  TempDir dir_;
  PdfTools tools_{dir_.Path().string()};
};

}  // namespace vtps_test
