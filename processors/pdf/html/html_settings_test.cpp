#include "processors/pdf/html/html_settings.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "processors/pdf/text/pdf_error.h"

namespace pdf::html {
namespace {

using ::testing::HasSubstr;

TEST(HtmlSettings, DefaultsAndTheSocketsPlace) {
  HtmlEnvironment environment;
  environment.userId = 1234;
  HtmlSettings settings = ReadHtmlSettings(environment);
  EXPECT_EQ(settings.socketPath, "/tmp/vtps-html-1234/engine.sock");
  EXPECT_EQ(settings.workers, kDefaultWorkers);
  EXPECT_EQ(settings.timeLimit.count(), kDefaultTimeLimitSeconds);
  EXPECT_TRUE(settings.allowedOrigins.empty());
  environment.runtimeFolder = "/run/user/1234";
  EXPECT_EQ(ReadHtmlSettings(environment).socketPath, "/run/user/1234/vtps-html/engine.sock");
  environment.socket = "/srv/html.sock";
  EXPECT_EQ(ReadHtmlSettings(environment).socketPath, "/srv/html.sock");
}

TEST(HtmlSettings, AllowedOriginsAreOriginsOnly) {
  HtmlEnvironment environment;
  environment.allowOrigins = "https://CDN.example.com, http://intranet:8080/ https://x.org:443";
  EXPECT_EQ(ReadHtmlSettings(environment).allowedOrigins,
            (std::vector<std::string>{"https://cdn.example.com", "http://intranet:8080",
                                      "https://x.org"}));
  for (const char* refused : {"ftp://host", "https://host/path", "https://user@host", "host",
                              "https://", "https://ho st"}) {
    environment.allowOrigins = refused;
    try {
      ReadHtmlSettings(environment);
      ADD_FAILURE() << refused << " was accepted";
    } catch (const PdfError& e) {
      EXPECT_THAT(e.what(), HasSubstr("VTPS_HTML_ALLOW_ORIGINS")) << refused;
    }
  }
}

TEST(HtmlSettings, OriginOfAnAddress) {
  const std::pair<const char*, const char*> cases[] = {
      {"https://Example.com/a/b?c", "https://example.com"},
      {"http://127.0.0.1:8080/x", "http://127.0.0.1:8080"},
      {"http://host:80/", "http://host"},
      {"https://user:pw@host/", "https://host"},
      {"file:///etc/passwd", ""},
      {"data:text/plain,x", ""},
      {"javascript:alert(1)", ""},
  };
  for (const auto& [url, origin] : cases)
    EXPECT_EQ(OriginOf(url), origin) << url;
}

TEST(HtmlSettings, RefusesNumbersOutOfRange) {
  const std::pair<std::optional<std::string> HtmlEnvironment::*, const char*> cases[] = {
      {&HtmlEnvironment::workers, "0"},      {&HtmlEnvironment::queue, "-1"},
      {&HtmlEnvironment::timeLimit, "4000"}, {&HtmlEnvironment::maxDocuments, "x"},
      {&HtmlEnvironment::maxMemoryMb, "64"}, {&HtmlEnvironment::maxInputBytes, "0"},
  };
  for (const auto& [field, value] : cases) {
    HtmlEnvironment environment;
    environment.*field = value;
    EXPECT_THROW(ReadHtmlSettings(environment), PdfError) << value;
  }
}

}  // namespace
}  // namespace pdf::html
