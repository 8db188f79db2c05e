// pdf-from-html and pdf-from-markdown run as the server runs them, with the browser engine
// they start for themselves: pages the tests write printed and read back with poppler's
// tools (text, paper, header and footer), the waits, the pages that try to reach what they
// must not (local files, loopback, a link out of the root, a new address), the pages that
// never finish or never end, and what one document must not leave to the next. Each suite
// starts its engines in its own folders and stops them at its end.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/pdf_root_test.h"

namespace vtps_test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// A loopback listener that counts the connections made to it; it never answers.
class CountingListener {
 public:
  CountingListener() {
    socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(socket_, 16);
    socklen_t size = sizeof address;
    ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
  }
  ~CountingListener() { ::close(socket_); }
  int Port() const { return port_; }
  int Socket() const { return socket_; }
  int Connections() {
    int count = 0;
    for (;;) {
      int connection = ::accept(socket_, nullptr, nullptr);
      if (connection < 0)
        return count;
      ::close(connection);
      ++count;
    }
  }

 private:
  int socket_ = -1;
  int port_ = 0;
};

// A loopback HTTP server of one answer: every request it reads is answered with a redirect to
// `location`. Serves on its own thread until destroyed.
class RedirectingServer {
 public:
  explicit RedirectingServer(std::string location) : location_(std::move(location)) {
    thread_ = std::thread([this] { Serve(); });
  }
  ~RedirectingServer() {
    stop_ = true;
    thread_.join();
  }
  int Port() const { return listener_.Port(); }
  int Served() const { return served_.load(); }

 private:
  void Serve() {
    while (!stop_) {
      pollfd wait{listener_.Socket(), POLLIN, 0};
      if (::poll(&wait, 1, 50) <= 0)
        continue;
      int connection = ::accept(listener_.Socket(), nullptr, nullptr);
      if (connection < 0)
        continue;
      char request[4096];
      pollfd readable{connection, POLLIN, 0};
      if (::poll(&readable, 1, 5000) > 0 && ::read(connection, request, sizeof request) > 0) {
        std::string answer = "HTTP/1.1 302 Found\r\nLocation: " + location_ +
                             "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        [[maybe_unused]] ssize_t written = ::write(connection, answer.data(), answer.size());
        ++served_;
      }
      ::close(connection);
    }
  }

  CountingListener listener_;
  std::string location_;
  std::atomic<bool> stop_{false};
  std::atomic<int> served_{0};
  std::thread thread_;
};

class PdfHtmlTest : public PdfRootTest {
 protected:
  static void SetUpTestSuite() { engines_ = new TempDir(); }
  static void TearDownTestSuite() {
    for (const auto& entry : std::filesystem::directory_iterator(engines_->Path()))
      StopEngine(entry.path().string());
    delete engines_;
    engines_ = nullptr;
  }

  // Runs `program` with the engine of `engine` (a folder of the suite's: engines with other
  // settings get other names).
  // `job` names the job file, for runs side by side.
  Run Print(const KQ_TDict& parameters, const std::string& engine = "shared",
            std::vector<std::pair<std::string, std::string>> environment = {},
            const std::string& program = "pdf-from-html", const std::string& job = "job") {
    std::filesystem::create_directories(engines_->Path() / engine);
    std::filesystem::permissions(engines_->Path() / engine, std::filesystem::perms::owner_all);
    environment.emplace_back("VTPS_HTML_SOCKET", engines_->File(engine + "/engine.sock"));
    environment.emplace_back("VTPS_PDF_ROOT", Root());
    return RunPdfProgram(program, parameters, dir_.File(job + ".xml"), dir_.File(job + ".err"),
                         environment);
  }

  void Write(const std::string& name, const std::string& content) {
    std::filesystem::create_directories(std::filesystem::path(InRoot(name)).parent_path());
    std::ofstream(InRoot(name), std::ios::binary) << content;
  }

  std::string Text(const std::string& pdf) { return Tool(PDFTOTEXT_PROGRAM, {InRoot(pdf), "-"}); }
  std::string Info(const std::string& pdf) { return Tool(PDFINFO_PROGRAM, {InRoot(pdf)}); }

  static std::string Warnings(const KQ_TDict& answer) {
    std::string all;
    KQ_TArray warnings = AnswerArray(answer, "warning");
    for (std::size_t i = 0; i < warnings.Count(); ++i) {
      const KQ_TString* text = warnings[i].DynamicCast<KQ_TString>();
      if (text != nullptr)
        all += text->Text() + "\n";
    }
    return all;
  }

  static TempDir* engines_;
};

TempDir* PdfHtmlTest::engines_ = nullptr;

// A one-pixel PNG.
const std::string kPng(
    "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\1\0\0\0\1\x08\x06\0\0\0\x1f\x15\xc4\x89\0\0\0\rIDATx\x9c"
    "c\xf8\xcf\xc0\xf0\x1f\0\x05\0\x01\xff\x89\x99=\x1d\0\0\0\0IEND\xae B`\x82",
    67);

TEST_F(PdfHtmlTest, PrintsAPageWithItsFilesPaperHeaderAndFooter) {
  Write("invoice/style.css", "h1 { color: #226; } .total { font-weight: bold; }");
  Write("invoice/logo.png", kPng);
  Write("invoice/invoice.html",
        "<!DOCTYPE html><html><head><link rel=stylesheet href=style.css><title>Invoice</title>"
        "</head><body><img src=logo.png><h1>Invoice 2026-117</h1><p class=total>Total 99.50</p>"
        "</body></html>");
  Run run = Print(Dict({{"file", "invoice/invoice.html"},
                        {"output", "invoice.pdf"},
                        {"paper", "Letter"},
                        {"headerHtml", "Acme Ltd"},
                        {"footerHtml", "Page {page} of {pages}"}}));
  ASSERT_EQ(run.exitCode, 0) << Show(run.answer);
  EXPECT_EQ(vtps_test::Text(run.answer, "pageCount"), "1");
  EXPECT_EQ(Warnings(run.answer), "");
  std::string text = Text("invoice.pdf");
  EXPECT_THAT(text, HasSubstr("Invoice 2026-117"));
  EXPECT_THAT(text, HasSubstr("Acme Ltd"));
  EXPECT_THAT(text, HasSubstr("Page 1 of 1"));
  EXPECT_THAT(Info("invoice.pdf"), HasSubstr("612 x 792 pts (letter)"));

  Run landscape = Print(Dict({{"file", "invoice/invoice.html"},
                              {"output", "wide.pdf"},
                              {"landscape", "true"},
                              {"margin", "1in"}}));
  ASSERT_EQ(landscape.exitCode, 0) << Show(landscape.answer);
  EXPECT_THAT(Info("wide.pdf"), HasSubstr("841.92 x 595.92 pts"));
}

TEST_F(PdfHtmlTest, WaitsForAnExpressionBeforeItPrints) {
  Write("late.html",
        "<html><body><div id=out></div><script>setTimeout(function() {"
        "document.getElementById('out').textContent = 'Written late'; window.ready = true;"
        "}, 500);</script></body></html>");
  Run early = Print(Dict({{"file", "late.html"}, {"output", "early.pdf"}}));
  ASSERT_EQ(early.exitCode, 0) << Show(early.answer);
  EXPECT_THAT(Text("early.pdf"), Not(HasSubstr("Written late")));
  Run waited = Print(
      Dict({{"file", "late.html"}, {"output", "late.pdf"}, {"waitForExpression", "window.ready"}}));
  ASSERT_EQ(waited.exitCode, 0) << Show(waited.answer);
  EXPECT_THAT(Text("late.pdf"), HasSubstr("Written late"));
}

TEST_F(PdfHtmlTest, RequestsThatLeaveTheRootAreRefusedNamedAndThePdfIsStillMade) {
  CountingListener listener;
  const std::string loopback = "http://127.0.0.1:" + std::to_string(listener.Port());
  std::ofstream(dir_.File("outside.css")) << "body { color: red; }";
  std::filesystem::create_symlink(dir_.File("outside.css"), InRoot("link.css"));
  Write("hostile.html",
        "<html><head><link rel=stylesheet href=../outside.css>"
        "<link rel=stylesheet href=link.css></head><body><p>Still printed</p>"
        "<iframe src=\"file:///etc/passwd\"></iframe>"
        "<img src=\"" +
            loopback +
            "/pixel.png\">"
            "<script>fetch('" +
            loopback +
            "/api').catch(function() {});"
            "setTimeout(function() { window.location = '" +
            loopback +
            "/away'; }, 10);"
            "</script></body></html>");
  Run run = Print(Dict({{"file", "hostile.html"}, {"output", "hostile.pdf"}, {"delay", "300"}}));
  ASSERT_EQ(run.exitCode, 0) << Show(run.answer);
  std::string warnings = Warnings(run.answer);
  EXPECT_THAT(warnings, HasSubstr("refused file:///etc/passwd"));
  EXPECT_THAT(warnings, HasSubstr("refused " + loopback + "/pixel.png"));
  EXPECT_THAT(warnings, HasSubstr("refused " + loopback + "/api"));
  EXPECT_THAT(warnings, HasSubstr("refused " + loopback + "/away"));
  EXPECT_THAT(warnings, HasSubstr("outside.css"));
  EXPECT_THAT(warnings, HasSubstr("link.css"));
  EXPECT_THAT(Text("hostile.pdf"), HasSubstr("Still printed"));
  EXPECT_EQ(listener.Connections(), 0);
}

TEST_F(PdfHtmlTest, AWorkersRequestsAreRefusedAndNamedAsThePagesAre) {
  CountingListener listener;
  const std::string loopback = "http://127.0.0.1:" + std::to_string(listener.Port());
  // A file: page may start a worker only from a blob: address.
  Write("working.html",
        "<html><body><p id=out>Waiting</p><script>"
        "const code = \"fetch('" +
            loopback +
            "/from-worker').catch(function() {})"
            ".then(function() { postMessage('done'); });\";"
            "const w = new Worker(URL.createObjectURL(new Blob([code])));"
            "w.onmessage = function() { document.getElementById('out').textContent = 'Worked'; "
            "window.done = true; };</script></body></html>");
  Run run = Print(Dict({{"file", "working.html"},
                        {"output", "working.pdf"},
                        {"waitForExpression", "window.done"}}),
                  "shared", {}, "pdf-from-html");
  ASSERT_EQ(run.exitCode, 0) << Show(run.answer);
  EXPECT_THAT(Warnings(run.answer), HasSubstr("refused " + loopback + "/from-worker"));
  EXPECT_THAT(Text("working.pdf"), HasSubstr("Worked"));
  EXPECT_EQ(listener.Connections(), 0);
}

TEST_F(PdfHtmlTest, AnAllowedOriginThatRedirectsToLoopbackIsFollowedNoFurther) {
  CountingListener inside;
  const std::string target = "http://127.0.0.1:" + std::to_string(inside.Port()) + "/secret";
  RedirectingServer allowed(target);
  const std::string origin = "http://127.0.0.1:" + std::to_string(allowed.Port());
  Write("redirected.html",
        "<html><body><p>Printed anyway</p><img src=\"" + origin + "/logo.png\"></body></html>");
  Run run = Print(Dict({{"file", "redirected.html"}, {"output", "redirected.pdf"}}), "allowing",
                  {{"VTPS_HTML_ALLOW_ORIGINS", origin}});
  ASSERT_EQ(run.exitCode, 0) << Show(run.answer);
  EXPECT_GE(allowed.Served(), 1);
  EXPECT_THAT(Warnings(run.answer), HasSubstr("refused " + target));
  EXPECT_EQ(inside.Connections(), 0);
  EXPECT_THAT(Text("redirected.pdf"), HasSubstr("Printed anyway"));
}

TEST_F(PdfHtmlTest, APageThatNeverEndsIsEndedAtTheTimeLimitAndTheNextOneIsPrinted) {
  Write("endless.html", "<html><body><script>for (;;) {}</script></body></html>");
  Write("small.html", "<html><body>Small</body></html>");
  std::vector<std::pair<std::string, std::string>> environment{{"VTPS_HTML_TIME_LIMIT_S", "5"}};
  Run endless =
      Print(Dict({{"file", "endless.html"}, {"output", "endless.pdf"}}), "timed", environment);
  EXPECT_EQ(endless.exitCode, 1);
  EXPECT_THAT(vtps_test::Text(endless.answer, "error"),
              HasSubstr("took longer than 5 s (VTPS_HTML_TIME_LIMIT_S)"));
  EXPECT_FALSE(std::filesystem::exists(InRoot("endless.pdf")));
  Run next = Print(Dict({{"file", "small.html"}, {"output", "small.pdf"}}), "timed", environment);
  ASSERT_EQ(next.exitCode, 0) << Show(next.answer);
  EXPECT_THAT(Text("small.pdf"), HasSubstr("Small"));
}

// The engine's browser: its child process running the browser program.
int BrowserOf(int engine) {
  std::ifstream children("/proc/" + std::to_string(engine) + "/task/" + std::to_string(engine) +
                         "/children");
  int child = 0;
  while (children >> child) {
    std::ifstream command("/proc/" + std::to_string(child) + "/comm");
    std::string name;
    if (std::getline(command, name) && name.rfind("chromium", 0) == 0)
      return child;
  }
  return 0;
}

TEST_F(PdfHtmlTest, ABrowserThatEndsMidDocumentFailsItAndTheNextDocumentGetsANewOne) {
  // The page asks an allowed origin for an image, which tells the test it is loading.
  RedirectingServer allowed("http://127.0.0.1:1/");
  const std::string origin = "http://127.0.0.1:" + std::to_string(allowed.Port());
  std::vector<std::pair<std::string, std::string>> environment{{"VTPS_HTML_ALLOW_ORIGINS", origin}};
  Write("small.html", "<html><body>Small</body></html>");
  Write("slow.html", "<html><body><img src=\"" + origin + "/x.png\">Slow</body></html>");
  ASSERT_EQ(Print(Dict({{"file", "small.html"}, {"output", "first.pdf"}}), "crashing", environment)
                .exitCode,
            0);
  std::ifstream pidFile(engines_->File("crashing/engine.pid"));
  int engine = 0;
  ASSERT_TRUE(pidFile >> engine);
  int browser = BrowserOf(engine);
  ASSERT_GT(browser, 0);
  Run slow;
  std::thread printing([&] {
    slow = Print(Dict({{"file", "slow.html"}, {"output", "slow.pdf"}, {"delay", "30000"}}),
                 "crashing", environment, "pdf-from-html", "slow");
  });
  ASSERT_TRUE(WaitUntil([&] { return allowed.Served() >= 1; }));
  // The browser and every process of it, as a crash of the browser ends them.
  ::kill(-browser, SIGKILL);
  printing.join();
  EXPECT_EQ(slow.exitCode, 1);
  EXPECT_THAT(vtps_test::Text(slow.answer, "error"), HasSubstr("browser"));
  EXPECT_FALSE(std::filesystem::exists(InRoot("slow.pdf")));
  Run next = Print(Dict({{"file", "small.html"}, {"output", "next.pdf"}}), "crashing", environment);
  ASSERT_EQ(next.exitCode, 0) << Show(next.answer);
  int restarted = BrowserOf(engine);
  EXPECT_GT(restarted, 0);
  EXPECT_NE(restarted, browser);
}

TEST_F(PdfHtmlTest, BeyondItsWorkersAndQueueTheEngineSaysItIsBusy) {
  // The first page asks an allowed origin for an image, which tells the test it is printing.
  RedirectingServer allowed("http://127.0.0.1:1/");
  const std::string origin = "http://127.0.0.1:" + std::to_string(allowed.Port());
  std::vector<std::pair<std::string, std::string>> environment{
      {"VTPS_HTML_ALLOW_ORIGINS", origin}, {"VTPS_HTML_WORKERS", "1"}, {"VTPS_HTML_QUEUE", "0"}};
  Write("small.html", "<html><body>Small</body></html>");
  Write("slow.html", "<html><body><img src=\"" + origin + "/x.png\">Slow</body></html>");
  ASSERT_EQ(Print(Dict({{"file", "small.html"}, {"output", "first.pdf"}}), "single", environment)
                .exitCode,
            0);
  Run slow;
  std::thread printing([&] {
    slow = Print(Dict({{"file", "slow.html"}, {"output", "slow.pdf"}, {"delay", "3000"}}), "single",
                 environment, "pdf-from-html", "slow");
  });
  ASSERT_TRUE(WaitUntil([&] { return allowed.Served() >= 1; }));
  Run refused = Print(Dict({{"file", "small.html"}, {"output", "refused.pdf"}}), "single",
                      environment, "pdf-from-html");
  printing.join();
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_THAT(vtps_test::Text(refused.answer, "error"),
              HasSubstr("the browser engine is busy: 1 documents print (VTPS_HTML_WORKERS)"));
  EXPECT_EQ(slow.exitCode, 0) << Show(slow.answer);
}

TEST_F(PdfHtmlTest, APageThatWouldMakeTooManyPagesStopsAtThePageLimit) {
  Write("many.html",
        "<html><body><script>for (let i = 0; i < 100000; ++i) {"
        "const p = document.createElement('p'); p.textContent = 'page ' + i;"
        "p.style.pageBreakAfter = 'always'; document.body.appendChild(p); }</script>"
        "</body></html>");
  Run run = Print(Dict({{"file", "many.html"}, {"output", "many.pdf"}}), "shared",
                  {{"VTPS_PDF_MAX_PAGES", "20"}});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_THAT(vtps_test::Text(run.answer, "error"), HasSubstr("VTPS_PDF_MAX_PAGES"));
  EXPECT_FALSE(std::filesystem::exists(InRoot("many.pdf")));
}

TEST_F(PdfHtmlTest, OneDocumentLeavesNothingToTheNext) {
  Write("first.html",
        "<html><body><script>localStorage.setItem('seen', 'yes'); document.cookie = 'seen=yes';"
        "</script>First</body></html>");
  Write("second.html",
        "<html><body><p id=out></p><script>document.getElementById('out').textContent = "
        "'storage=' + localStorage.getItem('seen') + ' cookie=' + (document.cookie || 'none');"
        "</script></body></html>");
  ASSERT_EQ(Print(Dict({{"file", "first.html"}, {"output", "first.pdf"}})).exitCode, 0);
  Run second = Print(Dict({{"file", "second.html"}, {"output", "second.pdf"}}));
  ASSERT_EQ(second.exitCode, 0) << Show(second.answer);
  EXPECT_THAT(Text("second.pdf"), HasSubstr("storage=null cookie=none"));
}

TEST_F(PdfHtmlTest, PrintsMarkdownWithoutItsRawHtml) {
  Write("notes/pic.png", kPng);
  Write("notes/notes.md",
        "# Release notes\n\n- first *item*\n- second item\n\n![pic](pic.png)\n\n"
        "<script>document.write('raw html ran')</script>\n");
  Run run = Print(Dict({{"file", "notes/notes.md"}, {"output", "notes.pdf"}}), "shared", {},
                  "pdf-from-markdown");
  ASSERT_EQ(run.exitCode, 0) << Show(run.answer);
  std::string text = Text("notes.pdf");
  EXPECT_THAT(text, HasSubstr("Release notes"));
  EXPECT_THAT(text, HasSubstr("second item"));
  EXPECT_THAT(text, Not(HasSubstr("raw html ran")));
  EXPECT_EQ(Warnings(run.answer), "");
}

TEST_F(PdfHtmlTest, RefusesWhatItMustNotPrint) {
  Write("page.html", "<html><body>x</body></html>");
  Write("page.txt", "x");
  struct Case {
    KQ_TDict parameters;
    std::string error;
  } cases[] = {
      {Dict({{"file", "missing.html"}, {"output", "o.pdf"}}), "does not exist"},
      {Dict({{"file", "page.txt"}, {"output", "o.pdf"}}), "must be named .html"},
      {Dict({{"file", "../page.html"}, {"output", "o.pdf"}}), "outside"},
      {Dict({{"file", "page.html"}, {"output", "o.pdf"}, {"paper", "B9"}}), "must be A3"},
      {Dict({{"file", "page.html"}, {"output", "o.pdf"}, {"margin", "20 furlongs"}}),
       "must be a length"},
      {Dict({{"file", "page.html"}, {"output", "o.pdf"}, {"margin", "200mm"}}), "no room"},
      {Dict({{"file", "page.html"}, {"output", "o.pdf"}, {"scale", "5"}}), "from 0.1 to 2"},
      {Dict({{"file", "page.html"}, {"output", "o.pdf"}, {"waitForExpression", "((("}}),
       "cannot be evaluated"},
  };
  for (const Case& test : cases) {
    Run run = Print(test.parameters);
    EXPECT_EQ(run.exitCode, 1) << Show(test.parameters);
    EXPECT_THAT(vtps_test::Text(run.answer, "error"), HasSubstr(test.error))
        << Show(test.parameters);
  }
  EXPECT_FALSE(std::filesystem::exists(InRoot("o.pdf")));
}

}  // namespace
}  // namespace vtps_test
