#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/kqtypes/kq_exception.h"
#include "platform/kqtypes/kq_url.h"
#include "platform/kqtypes/local_path.h"
#include "platform/os/os.h"

namespace {

using kq_url::LocalPathOf;
using kq_url::PathStyle;

TEST(LocalPathOf, Table) {
  struct Case {
    const char* url;
    PathStyle style;
    const char* expected;
  };
  const Case cases[] = {
      {"file:///var/vtps/jobs", PathStyle::kPosix, "/var/vtps/jobs"},
      {"file://localhost/var/vtps", PathStyle::kPosix, "/var/vtps"},
      {"FILE://LocalHost/var", PathStyle::kPosix, "/var"},
      {"file:/var/vtps", PathStyle::kPosix, "/var/vtps"},
      {"file:///tmp/with%20blank/%C3%BC", PathStyle::kPosix, "/tmp/with blank/\xC3\xBC"},
      {"/plain/path", PathStyle::kPosix, "/plain/path"},
      {"relative/dir", PathStyle::kPosix, "relative/dir"},
      {"C:\\Work\\Jobs", PathStyle::kPosix, "C:\\Work\\Jobs"},
      {"file:///C:/Work/Jobs", PathStyle::kWindows, "C:\\Work\\Jobs"},
      {"file:///c|/Work", PathStyle::kWindows, "c:\\Work"},
      {"file://localhost/D:/x%20y", PathStyle::kWindows, "D:\\x y"},
      {"file:///tmp/x", PathStyle::kWindows, "\\tmp\\x"},
      {"file://server/share/dir", PathStyle::kWindows, "\\\\server\\share\\dir"},
      {"C:\\Work\\Jobs", PathStyle::kWindows, "C:\\Work\\Jobs"},
      {"Z:/tmp/x", PathStyle::kWindows, "Z:/tmp/x"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(LocalPathOf(c.url, c.style), c.expected) << c.url;
}

TEST(LocalPathOf, RejectsWhatNamesNoLocalPath) {
  struct Case {
    const char* url;
    PathStyle style;
    const char* reason;
  };
  const Case cases[] = {
      {"", PathStyle::kPosix, "is empty"},
      {"http://host/dir", PathStyle::kPosix, "is not a file URL"},
      {"ftp:/dir", PathStyle::kWindows, "is not a file URL"},
      {"file://server/share", PathStyle::kPosix, "names the host server"},
      {"file:///a%2", PathStyle::kPosix, "invalid percent escape"},
      {"file:///a%zz", PathStyle::kPosix, "invalid percent escape"},
      {"file:///a%00b", PathStyle::kPosix, "NUL"},
      {"file:///a?x=1", PathStyle::kPosix, "query or fragment"},
      {"file:relative", PathStyle::kPosix, "no absolute path"},
      {"file://localhost", PathStyle::kPosix, "no absolute path"},
  };
  for (const Case& c : cases) {
    try {
      LocalPathOf(c.url, c.style);
      ADD_FAILURE() << c.url << " was accepted";
    } catch (const std::invalid_argument& error) {
      EXPECT_NE(std::string(error.what()).find(c.reason), std::string::npos)
          << c.url << ": " << error.what();
    }
  }
}

TEST(KQ_TURL, ToLocalPathUsesThisPlatformAndNamesTheUrlOnFailure) {
  bool windows = os::PathSeparator() == '\\';
  EXPECT_EQ(KQ_TURL("file:///tmp/jobs").ToLocalPath().Text(),
            windows ? "\\tmp\\jobs" : "/tmp/jobs");
  try {
    KQ_TURL("http://example.org/x").ToLocalPath();
    ADD_FAILURE() << "an http URL was accepted";
  } catch (const KQ_EException& error) {
    EXPECT_NE(error.KQ_Message().Text().find("http://example.org/x"), std::string::npos);
  }
  EXPECT_THROW(KQ_TURL().ToLocalPath(), KQ_EException);
}

}  // namespace
