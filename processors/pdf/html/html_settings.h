// The settings of the browser engine and of the processors that use it, read from the
// environment's text at the programs' edges: where the engine listens (VTPS_HTML_SOCKET, else
// a private folder of the user's runtime folder), how many documents are printed at once
// (VTPS_HTML_WORKERS) and wait (VTPS_HTML_QUEUE), how long one may take
// (VTPS_HTML_TIME_LIMIT_S), how many bytes a page's files may hold together
// (VTPS_HTML_MAX_INPUT_BYTES), which origins a page may fetch from (VTPS_HTML_ALLOW_ORIGINS,
// none unless set), which browser runs (VTPS_HTML_BROWSER) as which user when the engine runs
// as root (VTPS_HTML_USER), after how many documents or above how much memory the browser is
// restarted (VTPS_HTML_MAX_DOCUMENTS, VTPS_HTML_MAX_MEMORY_MB), and which engine a processor
// starts (VTPS_HTML_ENGINE). Pure functions of their text.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace pdf::html {

constexpr long long kDefaultWorkers = 2;
constexpr long long kDefaultQueue = 16;
constexpr long long kDefaultTimeLimitSeconds = 60;
constexpr long long kDefaultMaxInputBytes = 100LL << 20;
constexpr long long kDefaultMaxDocuments = 1000;
constexpr long long kDefaultMaxMemoryMb = 1536;
// An engine started by a processor (not by the service manager) ends after this long idle.
constexpr long long kDefaultIdleSeconds = 300;

struct HtmlSettings {
  std::string socketPath;
  long long workers = kDefaultWorkers;
  long long queue = kDefaultQueue;
  std::chrono::seconds timeLimit{kDefaultTimeLimitSeconds};
  long long maxInputBytes = kDefaultMaxInputBytes;
  std::vector<std::string> allowedOrigins;  // "https://host[:port]", lower case
  std::string browserProgram = "/usr/bin/chromium-headless-shell";
  std::string browserUser = "nobody";
  long long maxDocuments = kDefaultMaxDocuments;
  long long maxMemoryMb = kDefaultMaxMemoryMb;
  std::string engineProgram;  // "" for vtps-html-engine beside the processor
};

// The variables' values, as the programs' edges read them.
struct HtmlEnvironment {
  std::optional<std::string> socket, workers, queue, timeLimit, maxInputBytes, allowOrigins,
      browser, user, maxDocuments, maxMemoryMb, engine, runtimeFolder /* XDG_RUNTIME_DIR */;
  unsigned userId = 0;
};

// The variables of this process's environment: the programs' edges call this once.
HtmlEnvironment HtmlEnvironmentOfProcess();

// Throws PdfError naming the variable when a value is not a whole number in its range
// (workers 1 to 64, queue 0 to 1,000, time limit 1 to 3,600 s, input 1 byte to 16 GiB,
// documents 1 to 1,000,000, memory 128 MB to 1 TB) or an origin is not "http://host",
// "https://host" or either with a port.
HtmlSettings ReadHtmlSettings(const HtmlEnvironment& environment);

// The origin of `url` as ReadHtmlSettings writes origins ("https://host:port" without a
// default port), or "" when it has none (file:, data:, about:, malformed).
std::string OriginOf(const std::string& url);

}  // namespace pdf::html
