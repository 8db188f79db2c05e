#include "processors/pdf/html/html_settings.h"

#include <algorithm>
#include <cctype>

#include "platform/os/os.h"
#include "platform/os/worker_process.h"
#include "processors/pdf/run/limit_settings.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::html {
namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool HostCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '[' ||
         c == ']' || c == ':';
}

}  // namespace

HtmlEnvironment HtmlEnvironmentOfProcess() {
  HtmlEnvironment environment;
  environment.socket = os::GetEnv("VTPS_HTML_SOCKET");
  environment.workers = os::GetEnv("VTPS_HTML_WORKERS");
  environment.queue = os::GetEnv("VTPS_HTML_QUEUE");
  environment.timeLimit = os::GetEnv("VTPS_HTML_TIME_LIMIT_S");
  environment.maxInputBytes = os::GetEnv("VTPS_HTML_MAX_INPUT_BYTES");
  environment.allowOrigins = os::GetEnv("VTPS_HTML_ALLOW_ORIGINS");
  environment.browser = os::GetEnv("VTPS_HTML_BROWSER");
  environment.user = os::GetEnv("VTPS_HTML_USER");
  environment.maxDocuments = os::GetEnv("VTPS_HTML_MAX_DOCUMENTS");
  environment.maxMemoryMb = os::GetEnv("VTPS_HTML_MAX_MEMORY_MB");
  environment.engine = os::GetEnv("VTPS_HTML_ENGINE");
  environment.runtimeFolder = os::GetEnv("XDG_RUNTIME_DIR");
  environment.userId = os::EffectiveUserId();
  return environment;
}

std::string OriginOf(const std::string& url) {
  std::string lower = Lower(url);
  std::string scheme;
  if (lower.rfind("http://", 0) == 0)
    scheme = "http";
  else if (lower.rfind("https://", 0) == 0)
    scheme = "https";
  else
    return "";
  std::size_t start = scheme.size() + 3;
  std::size_t end = lower.find_first_of("/?#", start);
  std::string authority = lower.substr(start, end == std::string::npos ? end : end - start);
  // Credentials before the host ("user@host") are not part of the origin.
  if (std::size_t at = authority.rfind('@'); at != std::string::npos)
    authority = authority.substr(at + 1);
  if (authority.empty() || !std::all_of(authority.begin(), authority.end(), HostCharacter))
    return "";
  const std::string defaultPort = scheme == "http" ? ":80" : ":443";
  if (authority.size() > defaultPort.size() &&
      authority.compare(authority.size() - defaultPort.size(), defaultPort.size(), defaultPort) ==
          0)
    authority.resize(authority.size() - defaultPort.size());
  return scheme + "://" + authority;
}

HtmlSettings ReadHtmlSettings(const HtmlEnvironment& environment) {
  HtmlSettings settings;
  if (environment.socket && !environment.socket->empty())
    settings.socketPath = *environment.socket;
  else if (environment.runtimeFolder && !environment.runtimeFolder->empty())
    settings.socketPath = *environment.runtimeFolder + "/vtps-html/engine.sock";
  else
    settings.socketPath = "/tmp/vtps-html-" + std::to_string(environment.userId) + "/engine.sock";
  settings.workers =
      run::WholeNumberSetting("VTPS_HTML_WORKERS", environment.workers, kDefaultWorkers, 1, 64);
  settings.queue =
      run::WholeNumberSetting("VTPS_HTML_QUEUE", environment.queue, kDefaultQueue, 0, 1000);
  settings.timeLimit = std::chrono::seconds(run::WholeNumberSetting(
      "VTPS_HTML_TIME_LIMIT_S", environment.timeLimit, kDefaultTimeLimitSeconds, 1, 3600));
  settings.maxInputBytes = run::WholeNumberSetting(
      "VTPS_HTML_MAX_INPUT_BYTES", environment.maxInputBytes, kDefaultMaxInputBytes, 1, 16LL << 30);
  settings.maxDocuments = run::WholeNumberSetting(
      "VTPS_HTML_MAX_DOCUMENTS", environment.maxDocuments, kDefaultMaxDocuments, 1, 1000000);
  settings.maxMemoryMb = run::WholeNumberSetting("VTPS_HTML_MAX_MEMORY_MB", environment.maxMemoryMb,
                                                 kDefaultMaxMemoryMb, 128, 1LL << 20);
  std::string list = environment.allowOrigins.value_or("");
  std::size_t position = 0;
  while (position < list.size()) {
    std::size_t end = list.find_first_of(", ", position);
    std::string item = list.substr(position, end == std::string::npos ? end : end - position);
    position = end == std::string::npos ? list.size() : end + 1;
    if (item.empty())
      continue;
    // An origin is a scheme and a host with an optional port, then at most a "/".
    std::string given = Lower(item);
    if (given.back() == '/')
      given.pop_back();
    std::string origin = OriginOf(given);
    if (origin.empty() || given.find_first_of("/?#@", given.find("://") + 3) != std::string::npos)
      throw PdfError("VTPS_HTML_ALLOW_ORIGINS: \"" + item +
                     "\" is not an origin (http://host or https://host, with an optional port)");
    settings.allowedOrigins.push_back(origin);
  }
  if (environment.browser && !environment.browser->empty())
    settings.browserProgram = *environment.browser;
  if (environment.user && !environment.user->empty())
    settings.browserUser = *environment.user;
  settings.engineProgram = environment.engine.value_or("");
  return settings;
}

}  // namespace pdf::html
