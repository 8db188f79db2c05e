#include "processors/pdf/confined_path.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "processors/pdf/pdf_error.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

class ConfinedPath : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = dir_.Path() / "root";
    fs::create_directories(root_ / "sub");
    fs::create_directories(dir_.Path() / "outside");
    std::ofstream(root_ / "a.pdf") << "x";
    fs::create_symlink(dir_.Path() / "outside", root_ / "escape");
    fs::create_symlink(root_ / "sub", root_ / "inner");
    canonicalRoot_ = fs::canonical(root_);
  }

  std::string Refusal(const std::string& given) {
    PathResolver resolver(root_.string());
    try {
      resolver.Resolve(given, "file");
    } catch (const PdfError& e) {
      return e.what();
    }
    return "(accepted)";
  }

  vtps_test::TempDir dir_;
  fs::path root_;
  fs::path canonicalRoot_;
};

TEST_F(ConfinedPath, PathsInsideTheRootResolveBelowIt) {
  PathResolver resolver(root_.string());
  struct Case {
    const char* given;
    fs::path expected;
  };
  const Case cases[] = {
      {"a.pdf", canonicalRoot_ / "a.pdf"},
      {"sub/../a.pdf", canonicalRoot_ / "a.pdf"},
      {"sub/new.pdf", canonicalRoot_ / "sub/new.pdf"},
      {"inner/x.pdf", canonicalRoot_ / "sub/x.pdf"},
      {"missing/deeper/x.pdf", canonicalRoot_ / "missing/deeper/x.pdf"},
      {".", canonicalRoot_},
  };
  for (const Case& c : cases)
    EXPECT_EQ(resolver.Resolve(c.given, "file"), c.expected) << c.given;
}

TEST_F(ConfinedPath, PathsLeavingTheRootAreRefusedNamingTheParameter) {
  struct Case {
    const char* given;
    const char* message;
  };
  const Case cases[] = {
      {"../a.pdf", "leads outside VTPS_PDF_ROOT"},
      {"sub/../../outside/a.pdf", "leads outside VTPS_PDF_ROOT"},
      {"escape/a.pdf", "leads outside VTPS_PDF_ROOT"},
      {"/etc/passwd", "is absolute"},
      {"", "is empty"},
      {"a.pdf\n", "control character"},
  };
  for (const Case& c : cases) {
    std::string message = Refusal(c.given);
    EXPECT_THAT(message, HasSubstr("parameter \"file\"")) << c.given;
    EXPECT_THAT(message, HasSubstr(c.message)) << c.given;
    EXPECT_THAT(message, ::testing::Not(HasSubstr(root_.string()))) << c.given;
  }
}

TEST_F(ConfinedPath, WithoutARootPathsAreUsedAsGiven) {
  PathResolver resolver(std::nullopt);
  EXPECT_FALSE(resolver.Confined());
  EXPECT_EQ(resolver.Resolve("../x/a.pdf", "file"), fs::path("../x/a.pdf"));
  EXPECT_EQ(resolver.Resolve("/tmp/a.pdf", "file"), fs::path("/tmp/a.pdf"));
  EXPECT_THROW(resolver.Resolve("", "file"), PdfError);
  EXPECT_FALSE(PathResolver(std::string()).Confined());
}

TEST_F(ConfinedPath, ARootThatIsNoFolderIsRefused) {
  EXPECT_THROW(PathResolver((dir_.Path() / "none").string()), PdfError);
  EXPECT_THROW(PathResolver((root_ / "a.pdf").string()), PdfError);
}

}  // namespace
