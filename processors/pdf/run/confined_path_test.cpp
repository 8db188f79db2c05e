#include "processors/pdf/run/confined_path.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "processors/pdf/text/pdf_error.h"
#include "tests/support/test_support.h"

namespace pdf::run {

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

class ConfinedPath : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root_ / "sub");
    fs::create_directories(outside_);
    std::ofstream(root_ / "a.pdf") << "inside";
    std::ofstream(outside_ / "a.pdf") << "outside";
    fs::create_symlink(outside_, root_ / "escape");
    fs::create_symlink(root_ / "sub", root_ / "inner");
    fs::create_symlink("sub", root_ / "relative");
  }

  PathResolver Confined() const { return PathResolver(RootSettings{root_.string(), {}}); }

  // What `act` throws, or "(accepted)".
  static std::string Refusal(const std::function<void()>& act) {
    try {
      act();
    } catch (const PdfError& e) {
      return e.what();
    }
    return "(accepted)";
  }

  vtps_test::TempDir dir_;
  fs::path root_ = dir_.Path() / "root";
  fs::path outside_ = dir_.Path() / "outside";
};

TEST_F(ConfinedPath, InputsInsideTheRootOpenThatFile) {
  PathResolver resolver = Confined();
  for (const char* given : {"a.pdf", "sub/../a.pdf", "relative/../a.pdf", "./a.pdf"}) {
    os::FileHandle file = resolver.OpenFile(given, "file");
    EXPECT_EQ(vtps_test::ReadFile(file.ProcPath()), "inside") << given;
  }
}

TEST_F(ConfinedPath, RefusalsNameTheParameterOrFileAndNeverTheRoot) {
  PathResolver resolver = Confined();
  struct Case {
    const char* given;
    bool output;
    const char* message;
  };
  const Case cases[] = {
      {"../a.pdf", false, "parameter \"file\": \"../a.pdf\" leads outside VTPS_PDF_ROOT"},
      {"escape/a.pdf", false, "parameter \"file\": \"escape/a.pdf\" leads outside VTPS_PDF_ROOT"},
      {"nx/../escape/a.pdf", false, "file \"nx/../escape/a.pdf\" does not exist"},
      // A link given as an absolute path is refused even where it points inside the root.
      {"inner/../a.pdf", false, "parameter \"file\": \"inner/../a.pdf\" leads outside"},
      {"/etc/passwd", false, "parameter \"file\": \"/etc/passwd\" is absolute"},
      {"", false, "parameter \"file\" is empty"},
      {"a.pdf\n", false, "control character"},
      {"sub", false, "file \"sub\" is not a file"},
      {"none.pdf", false, "file \"none.pdf\" does not exist"},
      {"escape/new.pdf", true,
       "parameter \"file\": \"escape/new.pdf\" leads outside VTPS_PDF_ROOT"},
      {"nx/../escape/new.pdf", true, "output \"nx/../escape/new.pdf\": its folder does not exist"},
      {"../new.pdf", true, "leads outside VTPS_PDF_ROOT"},
      {"/tmp/new.pdf", true, "is absolute"},
      {"none/new.pdf", true, "output \"none/new.pdf\": its folder does not exist"},
      {"a.pdf/new.pdf", true, "output \"a.pdf/new.pdf\": its folder does not exist"},
      {"sub", true, "output \"sub\" is a folder"},
      {"sub/", true, "output \"sub/\" is a folder"},
      {"sub/..", true, "output \"sub/..\" is a folder"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.given);
    std::string message = Refusal([&] {
      if (c.output)
        resolver.PlaceOutput(c.given, "file");
      else
        resolver.OpenFile(c.given, "file");
    });
    EXPECT_THAT(message, HasSubstr(c.message));
    EXPECT_THAT(message, ::testing::Not(HasSubstr(root_.string())));
  }
}

TEST_F(ConfinedPath, AnOutputGetsItsFolderAndName) {
  PathResolver resolver = Confined();
  OutputPlace place = resolver.PlaceOutput("relative/new.pdf", "output");
  EXPECT_EQ(place.name, "new.pdf");
  EXPECT_EQ(place.label, "relative/new.pdf");
  os::FileFailure failure;
  os::FileHandle sub = os::OpenFolder((root_ / "sub").string(), failure);
  EXPECT_EQ(os::Describe(place.folder).id, os::Describe(sub).id);
}

TEST_F(ConfinedPath, WithoutARootOnlyTrustedCallersMayRun) {
  struct Case {
    std::optional<std::string> root;
    std::optional<std::string> unconfined;
    const char* message;
  };
  const Case cases[] = {
      {std::nullopt, std::nullopt, "VTPS_PDF_ROOT is not set"},
      {"", "0", "VTPS_PDF_ROOT is not set"},
      {std::nullopt, "yes", "VTPS_PDF_UNCONFINED is \"yes\""},
      {(dir_.Path() / "none").string(), "1", "which is not a folder"},
      {(root_ / "a.pdf").string(), std::nullopt, "which is not a folder"},
      {std::nullopt, "1", "(accepted)"},
  };
  for (const Case& c : cases) {
    std::string message = Refusal([&] { PathResolver(RootSettings{c.root, c.unconfined}); });
    EXPECT_THAT(message, HasSubstr(c.message)) << c.root.value_or("(unset)");
  }

  PathResolver trusted(RootSettings{std::nullopt, "1"});
  EXPECT_FALSE(trusted.Confined());
  os::FileHandle outside = trusted.OpenFile((outside_ / "a.pdf").string(), "file");
  EXPECT_EQ(vtps_test::ReadFile(outside.ProcPath()), "outside");
}

}  // namespace

}  // namespace pdf::run
