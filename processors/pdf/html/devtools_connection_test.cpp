#include "processors/pdf/html/devtools_connection.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "platform/os/piped_program.h"

namespace pdf::html {
namespace {

using nlohmann::json;
using ::testing::HasSubstr;

// A stand-in for the browser's end of the pipe: reads commands and writes what a test says.
class FakeBrowser {
 public:
  FakeBrowser() {
    os::MakePipe(commandsRead_, commandsWrite_);
    os::MakePipe(answersRead_, answersWrite_);
  }
  std::unique_ptr<DevToolsConnection> Connect() {
    return std::make_unique<DevToolsConnection>(std::move(commandsWrite_), std::move(answersRead_));
  }
  // The next command the connection sent.
  json NextCommand() {
    for (;;) {
      std::size_t end = buffer_.find('\0');
      if (end != std::string::npos) {
        json command = json::parse(buffer_.substr(0, end));
        buffer_.erase(0, end + 1);
        return command;
      }
      char chunk[4096];
      long count = os::ReadSome(commandsRead_, chunk, sizeof chunk);
      if (count <= 0)
        return json();
      buffer_.append(chunk, static_cast<std::size_t>(count));
    }
  }
  void Say(const std::string& text) { os::WriteAll(answersWrite_, text + std::string(1, '\0')); }
  void Close() { answersWrite_ = os::FileHandle(); }

 private:
  os::FileHandle commandsRead_, commandsWrite_, answersRead_, answersWrite_;
  std::string buffer_;
};

TEST(DevToolsConnection, AnswersReachTheirCallsAndEventsTheirSessions) {
  FakeBrowser browser;
  auto connection = browser.Connect();
  connection->Listen("s1");
  std::thread peer([&] {
    json first = browser.NextCommand();
    EXPECT_EQ(first["method"], "Page.navigate");
    EXPECT_EQ(first["sessionId"], "s1");
    // Events of another session, of this one, then the answer.
    browser.Say(R"({"method":"Page.loadEventFired","sessionId":"other","params":{}})");
    browser.Say(R"({"method":"Fetch.requestPaused","sessionId":"s1","params":{"n":1}})");
    browser.Say(R"({"id":)" + first["id"].dump() + R"(,"result":{"frameId":"F"}})");
    json second = browser.NextCommand();
    browser.Say(R"({"id":)" + second["id"].dump() + R"(,"error":{"message":"no such target"}})");
    browser.NextCommand();  // the third is never answered
  });
  std::vector<json> seen;
  json result = connection->Call("s1", "Page.navigate", {{"url", "file:///a"}},
                                 Clock::now() + std::chrono::seconds(10),
                                 [&seen](const json& event) { seen.push_back(event); });
  EXPECT_EQ(result["frameId"], "F");
  // The session's event went to the handler or stays queued; the other session's is dropped.
  if (seen.empty()) {
    std::optional<json> queued = connection->NextEvent("s1", Clock::now());
    ASSERT_TRUE(queued);
    seen.push_back(*queued);
  }
  EXPECT_EQ(seen[0]["params"]["n"], 1);
  EXPECT_EQ(connection->NextEvent("s1", Clock::now()), std::nullopt);
  try {
    connection->Call("", "Target.closeTarget", json::object(),
                     Clock::now() + std::chrono::seconds(10));
    ADD_FAILURE() << "a refused command returned";
  } catch (const DevToolsError& e) {
    EXPECT_THAT(e.what(), HasSubstr("no such target"));
    EXPECT_FALSE(e.TimedOut());
  }
  try {
    connection->Call("", "Browser.getVersion", json::object(),
                     Clock::now() + std::chrono::milliseconds(50));
    ADD_FAILURE() << "an unanswered command returned";
  } catch (const DevToolsError& e) {
    EXPECT_TRUE(e.TimedOut());
  }
  peer.join();
  browser.Close();
  EXPECT_THROW(connection->NextEvent("s1", Clock::now() + std::chrono::seconds(10)), DevToolsError);
  EXPECT_FALSE(connection->Open());
}

TEST(DevToolsConnection, AMessageThatIsNotJsonEndsTheConnectionAndEveryWait) {
  FakeBrowser browser;
  auto connection = browser.Connect();
  std::thread peer([&] {
    browser.NextCommand();
    browser.Say("{not json");
  });
  try {
    connection->Call("", "Browser.getVersion", json::object(),
                     Clock::now() + std::chrono::seconds(10));
    ADD_FAILURE() << "the call returned";
  } catch (const DevToolsError& e) {
    EXPECT_THAT(e.what(), HasSubstr("not JSON"));
  }
  peer.join();
  EXPECT_THROW(connection->Send("", "Browser.close", json::object()), DevToolsError);
  browser.Close();
}

TEST(DevToolsConnection, AFloodOfConsoleMessagesKeepsTheOtherEvents) {
  FakeBrowser browser;
  auto connection = browser.Connect();
  connection->Listen("s");
  browser.Say(R"({"method":"Fetch.requestPaused","sessionId":"s","params":{}})");
  for (std::size_t i = 0; i < DevToolsConnection::kMaxQueuedEvents + 50; ++i)
    browser.Say(R"({"method":"Runtime.consoleAPICalled","sessionId":"s","params":{}})");
  browser.Say(R"({"method":"Page.loadEventFired","sessionId":"s","params":{}})");
  browser.Close();
  // Everything is queued once the reader has seen the end.
  auto until = Clock::now() + std::chrono::seconds(10);
  while (connection->Open() && Clock::now() < until)
    std::this_thread::yield();
  std::size_t count = 0;
  bool paused = false, loaded = false;
  try {
    while (auto event = connection->NextEvent("s", Clock::now() + std::chrono::seconds(10))) {
      ++count;
      paused = paused || (*event)["method"] == "Fetch.requestPaused";
      loaded = loaded || (*event)["method"] == "Page.loadEventFired";
    }
  } catch (const DevToolsError&) {
    // the end of the connection ends the loop
  }
  EXPECT_TRUE(paused);
  EXPECT_TRUE(loaded);
  EXPECT_LE(count, DevToolsConnection::kMaxQueuedEvents);
}

}  // namespace
}  // namespace pdf::html
