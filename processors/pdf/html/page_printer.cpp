#include "processors/pdf/html/page_printer.h"

#include <cmath>
#include <optional>
#include <thread>

#include "platform/os/local_socket.h"
#include "platform/os/piped_program.h"
#include "processors/pdf/html/base64.h"
#include "processors/pdf/html/print_options.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::html {
namespace {

using nlohmann::json;

// However a document ended, its context is disposed within this long.
constexpr std::chrono::seconds kDisposeWait{10};
// A browser that takes longer than this to answer a command is taken to have hung.
constexpr std::chrono::seconds kBrowserAnswerWait{30};
constexpr std::chrono::milliseconds kExpressionPoll{100};
constexpr std::size_t kMaxWarningBytes = 400;
constexpr std::size_t kPdfChunkBytes = 1 << 20;
constexpr std::chrono::milliseconds kProcessorPoll{250};

// A document's failure that is the page's (or the processor's), not the browser's.
class PageFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Page {
 public:
  Page(DevToolsConnection& browser, const os::FileHandle& connection, Clock::time_point deadline)
      : browser_(browser), connection_(connection), deadline_(deadline) {}

  void Open(const PrintOptions& options);
  void Load(const std::string& url, const PrintOptions& options, long long maxPages);
  // Throws PageFailure when the page is surely longer than `maxPages`, before it is printed
  // (printing lays out every page, however few are asked for).
  void CheckLength(const PrintOptions& options, long long maxPages);
  void Print(const PrintOptions& options, const os::FileHandle& output, long long maxBytes);
  void Close();
  const std::vector<std::string>& Warnings() const { return warnings_; }
  std::size_t WarningsLeftOut() const { return leftOut_; }

 private:
  json Call(const std::string& method, json params = json::object(), bool onPage = true);
  void Handle(const json& event);
  void Pump(Clock::time_point until);
  void Paused(const std::string& sessionId, const json& params);
  void Attached(const json& params);
  void Warn(std::string text);
  Clock::time_point CallDeadline() const {
    return std::min(deadline_, Clock::now() + kBrowserAnswerWait);
  }

  DevToolsConnection& browser_;
  const os::FileHandle& connection_;
  Clock::time_point deadline_;
  std::string context_, session_, mainUrl_, mainFrame_;
  std::optional<std::string> mainRefused_;
  bool loaded_ = false;
  bool crashed_ = false;
  int consoleErrors_ = 0;
  Clock::time_point lastRequest_ = Clock::now();
  std::vector<std::string> warnings_;
  std::size_t leftOut_ = 0;
};

json Page::Call(const std::string& method, json params, bool onPage) {
  // Laying out a long document for print takes what it takes, up to the document's limit.
  Clock::time_point deadline = method == "Page.printToPDF" ? deadline_ : CallDeadline();
  return browser_.Call(onPage ? session_ : "", method, std::move(params), deadline,
                       [this](const json& event) { Handle(event); });
}

void Page::Warn(std::string text) {
  if (warnings_.size() >= kMaxWarnings) {
    ++leftOut_;
    return;
  }
  if (text.size() > kMaxWarningBytes)
    text = text.substr(0, kMaxWarningBytes) + "...";
  warnings_.push_back(std::move(text));
}

void Page::Open(const PrintOptions& options) {
  context_ = Call("Target.createBrowserContext", {{"disposeOnDetach", true}}, false)
                 .value("browserContextId", "");
  std::string target =
      Call("Target.createTarget", {{"url", "about:blank"}, {"browserContextId", context_}}, false)
          .value("targetId", "");
  session_ = Call("Target.attachToTarget", {{"targetId", target}, {"flatten", true}}, false)
                 .value("sessionId", "");
  if (context_.empty() || session_.empty())
    throw DevToolsError("the browser gave no page");
  browser_.Listen(session_);
  Call("Fetch.enable", {{"patterns", json::array({{{"urlPattern", "*"}}})}});
  // The page's workers and frames of other processes are attached, paused at their start.
  Call("Target.setAutoAttach",
       {{"autoAttach", true}, {"waitForDebuggerOnStart", true}, {"flatten", true}});
  Call("Page.enable");
  Call("Runtime.enable");
  Call("Log.enable");
  if (options.media == "screen")
    Call("Emulation.setEmulatedMedia", {{"media", "screen"}});
}

void Page::Paused(const std::string& sessionId, const json& params) {
  const std::string requestId = params.value("requestId", "");
  const std::string url = params.contains("request") ? params["request"].value("url", "") : "";
  lastRequest_ = Clock::now();
  office::EngineMessage question;
  question.Add("question", "fetch");
  question.Add("url", url);
  std::string failure = os::SendLocalMessage(connection_, question.Encode());
  if (!failure.empty())
    throw PageFailure("the processor stopped answering for the page's files");
  os::LocalMessage message;
  // Waited for in short turns, so that a browser that has ended ends the wait too.
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now());
    if (left.count() <= 0)
      throw DevToolsError("the processor did not hand " + url + " in time", true);
    if (!browser_.Open())
      throw DevToolsError("the browser ended while the page loaded");
    std::string error;
    os::Received received =
        os::ReceiveLocalMessage(connection_, std::min(left, kProcessorPoll), message, error);
    if (received == os::Received::kMessage)
      break;
    if (received != os::Received::kTimeout)
      throw PageFailure("the processor stopped answering for the page's files");
  }
  std::optional<office::EngineMessage> reply = office::EngineMessage::Decode(message.bytes);
  const std::string status = reply ? reply->Get("status").value_or("") : "";
  if (status == "continue") {
    browser_.Send(sessionId, "Fetch.continueRequest", {{"requestId", requestId}});
    return;
  }
  if (status == "file" && message.files.size() == 1) {
    std::string body;
    char chunk[65536];
    long count;
    while ((count = os::ReadSome(message.files[0], chunk, sizeof chunk)) > 0)
      body.append(chunk, static_cast<std::size_t>(count));
    browser_.Send(
        session_, "Fetch.fulfillRequest",
        {{"requestId", requestId},
         {"responseCode", 200},
         {"responseHeaders", json::array({{{"name", "Content-Type"},
                                           {"value", reply->Get("contentType").value_or("")}}})},
         {"body", EncodeBase64(body)}});
    return;
  }
  std::string reason = reply ? reply->Get("reason").value_or("refused") : "unreadable reply";
  // A refused navigation is aborted rather than failed, so that the page it would leave
  // stays (a failed one puts an error page in its place).
  const bool navigation = params.value("resourceType", "") == "Document";
  browser_.Send(
      session_, "Fetch.failRequest",
      {{"requestId", requestId}, {"errorReason", navigation ? "Aborted" : "AccessDenied"}});
  if (url == mainUrl_ && !loaded_)
    mainRefused_ = reason;
  Warn("refused " + url + ": " + reason);
}

void Page::Attached(const json& params) {
  // A worker or a frame in a process of its own: its requests are paused like the page's
  // before it runs.
  const std::string child = params.value("sessionId", "");
  if (child.empty())
    return;
  browser_.ListenBelow(session_, child);
  browser_.Send(child, "Fetch.enable", {{"patterns", json::array({{{"urlPattern", "*"}}})}});
  browser_.Send(child, "Target.setAutoAttach",
                {{"autoAttach", true}, {"waitForDebuggerOnStart", true}, {"flatten", true}});
  browser_.Send(child, "Runtime.runIfWaitingForDebugger", json::object());
}

void Page::Handle(const json& event) {
  const std::string method = event.value("method", "");
  const json params = event.value("params", json::object());
  if (method == "Fetch.requestPaused") {
    Paused(event.value("sessionId", session_), params);
  } else if (method == "Target.attachedToTarget") {
    Attached(params);
  } else if (method == "Page.loadEventFired") {
    loaded_ = true;
  } else if (method == "Page.frameStoppedLoading" && !mainFrame_.empty() &&
             params.value("frameId", "") == mainFrame_) {
    // A navigation the page starts while it loads (and that is refused) may stop its loading
    // before the load event: stopped is loaded too.
    loaded_ = true;
  } else if (method == "Inspector.targetCrashed") {
    crashed_ = true;
  } else if (method == "Runtime.consoleAPICalled" && params.value("type", "") == "error") {
    ++consoleErrors_;
    std::string text;
    for (const json& argument : params.value("args", json::array())) {
      if (!text.empty())
        text += " ";
      if (argument.contains("value"))
        text += argument["value"].is_string() ? argument["value"].get<std::string>()
                                              : argument["value"].dump();
      else
        text += argument.value("description", argument.value("type", ""));
    }
    Warn("console error: " + text);
  } else if (method == "Runtime.exceptionThrown") {
    ++consoleErrors_;
    const json details = params.value("exceptionDetails", json::object());
    std::string text = details.value("text", "");
    if (details.contains("exception"))
      text += " " + details["exception"].value("description", "");
    Warn("script error: " + text);
  } else if (method == "Log.entryAdded") {
    const json entry = params.value("entry", json::object());
    const std::string text = entry.value("text", "");
    // The page's requests the processor refused are named already.
    if (entry.value("level", "") == "error" && text.find("ERR_ACCESS_DENIED") == std::string::npos)
      Warn("browser: " + text +
           (entry.contains("url") ? " (" + entry.value("url", "") + ")" : std::string()));
  }
  if (crashed_)
    throw PageFailure("the page's renderer crashed (it may need more memory than it may have)");
}

void Page::Pump(Clock::time_point until) {
  for (;;) {
    Clock::time_point end = std::min(until, deadline_);
    std::optional<json> event = browser_.NextEvent(session_, end);
    if (event)
      Handle(*event);
    else if (Clock::now() >= end)
      return;
  }
}

void Page::CheckLength(const PrintOptions& options, long long maxPages) {
  const json& print = options.print;
  bool landscape = print.value("landscape", false);
  double paperWidth = print.value("paperWidth", 8.27),
         paperHeight = print.value("paperHeight", 11.69);
  if (landscape)
    std::swap(paperWidth, paperHeight);
  double scale = print.value("scale", 1.0);
  double width =
      (paperWidth - print.value("marginLeft", 0.0) - print.value("marginRight", 0.0)) * 96 / scale;
  double height =
      (paperHeight - print.value("marginTop", 0.0) - print.value("marginBottom", 0.0)) * 96 / scale;
  if (width < 1 || height < 1)
    return;
  Call("Emulation.setEmulatedMedia", {{"media", "print"}});
  Call("Emulation.setDeviceMetricsOverride", {{"width", static_cast<int>(width)},
                                              {"height", static_cast<int>(height)},
                                              {"deviceScaleFactor", 1},
                                              {"mobile", false}});
  json result = Call("Runtime.evaluate", {{"expression",
                                           "Math.max(document.documentElement.scrollHeight, "
                                           "document.body ? document.body.scrollHeight : 0)"},
                                          {"returnByValue", true}});
  Call("Emulation.clearDeviceMetricsOverride");
  Call("Emulation.setEmulatedMedia", {{"media", options.media == "screen" ? "screen" : ""}});
  double length = result.contains("result") ? result["result"].value("value", 0.0) : 0.0;
  // The content's height on paper of the print's width is a floor under its page count
  // (forced breaks only add pages); a tenth is left for what print layout does otherwise.
  double pages = std::floor(length * 0.9 / height);
  if (pages > static_cast<double>(maxPages))
    throw PageFailure("the page would make at least " +
                      std::to_string(static_cast<long long>(pages)) + " pages, more than the " +
                      std::to_string(maxPages) + " VTPS_PDF_MAX_PAGES leaves this run");
}

void Page::Load(const std::string& url, const PrintOptions& options, long long maxPages) {
  mainUrl_ = url;
  json navigated = Call("Page.navigate", {{"url", url}});
  mainFrame_ = navigated.value("frameId", "");
  while (!loaded_ && Clock::now() < deadline_) {
    if (mainRefused_)
      break;
    std::optional<json> event = browser_.NextEvent(session_, deadline_);
    if (event)
      Handle(*event);
  }
  if (mainRefused_)
    throw PageFailure("the document cannot be read: " + *mainRefused_);
  if (!loaded_)
    throw DevToolsError("the page did not finish loading", true);
  if (options.waits.networkIdle) {
    while (Clock::now() < deadline_ && Clock::now() - lastRequest_ < kNetworkIdleQuiet)
      Pump(lastRequest_ + kNetworkIdleQuiet);
  }
  if (options.waits.expression) {
    for (;;) {
      json result = Call(
          "Runtime.evaluate",
          {{"expression", "!!(" + *options.waits.expression + "\n)"}, {"returnByValue", true}});
      if (result.contains("exceptionDetails"))
        throw PageFailure("waitForExpression cannot be evaluated: " +
                          result["exceptionDetails"].value("text", "an exception"));
      if (result.contains("result") && result["result"].value("value", false))
        break;
      if (Clock::now() + kExpressionPoll >= deadline_)
        throw DevToolsError("waitForExpression did not become true", true);
      Pump(Clock::now() + kExpressionPoll);
    }
  }
  if (options.waits.delay.count() > 0)
    Pump(Clock::now() + options.waits.delay);
  if (maxPages > 0)
    CheckLength(options, maxPages);
  if (options.failOnConsoleError && consoleErrors_ > 0)
    throw PageFailure("the page reported " + std::to_string(consoleErrors_) +
                      " console error(s) and failOnConsoleError is set: " +
                      (warnings_.empty() ? std::string() : warnings_.back()));
}

void Page::Print(const PrintOptions& options, const os::FileHandle& output, long long maxBytes) {
  json print = options.print;
  print["transferMode"] = "ReturnAsStream";
  std::string stream = Call("Page.printToPDF", print).value("stream", "");
  if (stream.empty())
    throw DevToolsError("the browser gave no PDF");
  long long written = 0;
  for (;;) {
    json chunk = Call("IO.read", {{"handle", stream}, {"size", kPdfChunkBytes}});
    std::string data = chunk.value("data", "");
    if (chunk.value("base64Encoded", false)) {
      std::optional<std::string> bytes = DecodeBase64(data);
      if (!bytes)
        throw DevToolsError("the browser's PDF is not base64");
      data = std::move(*bytes);
    }
    written += static_cast<long long>(data.size());
    if (written > maxBytes)
      throw PageFailure("the PDF grew past the output limit (" + std::to_string(maxBytes) +
                        " bytes)");
    if (std::string failure = os::WriteAll(output, data); !failure.empty())
      throw PageFailure("cannot write the PDF: " + failure);
    if (chunk.value("eof", false))
      break;
  }
  browser_.Send(session_, "IO.close", {{"handle", stream}});
}

void Page::Close() {
  if (!session_.empty())
    browser_.Forget(session_);
  if (context_.empty() || !browser_.Open())
    return;
  try {
    browser_.Call("", "Target.disposeBrowserContext", {{"browserContextId", context_}},
                  Clock::now() + kDisposeWait);
  } catch (const DevToolsError&) {
    // A browser that cannot dispose a context is found out by the next document.
  }
}

}  // namespace

PrintOutcome PrintPage(DevToolsConnection& browser, const office::EngineMessage& request,
                       const os::FileHandle& connection, const os::FileHandle& output,
                       Clock::time_point deadline) {
  PrintOutcome outcome;
  Page page(browser, connection, deadline);
  try {
    PrintOptions options = OptionsOfPrintRequest(request);
    long long maxBytes = std::atoll(request.Get("maxOutputBytes").value_or("0").c_str());
    page.Open(options);
    long long maxPages = std::atoll(request.Get("maxPages").value_or("0").c_str());
    page.Load(request.Get("url").value_or(""), options, maxPages);
    page.Print(options, output, maxBytes);
    outcome.answer.Add("status", "ok");
  } catch (const DevToolsError& e) {
    outcome.timedOut = e.TimedOut() && Clock::now() >= deadline;
    outcome.browserFailed = !outcome.timedOut && (e.TimedOut() || !browser.Open());
    outcome.answer.Add("status", "failed");
    outcome.answer.Add("message", e.what());
  } catch (const std::exception& e) {
    outcome.answer.Add("status", "failed");
    outcome.answer.Add("message", e.what());
  }
  page.Close();
  for (const std::string& warning : page.Warnings())
    outcome.answer.Add("warning", warning);
  if (page.WarningsLeftOut() > 0)
    outcome.answer.Add("warning", "and " + std::to_string(page.WarningsLeftOut()) +
                                      " more warnings of the same kinds");
  return outcome;
}

}  // namespace pdf::html
