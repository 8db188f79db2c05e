#include "processors/pdf/office/forking_engine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "platform/os/local_socket.h"
#include "tests/support/test_support.h"

namespace pdf::office {
namespace {

using ::testing::HasSubstr;

// The work of the test's workers, chosen by the request's "do": answer, wait for a byte on
// the pipe the request carries (so the test decides when the worker finishes), hang, or
// crash.
EngineMessage TestWork(const EngineMessage& request, std::vector<os::FileHandle>& files) {
  std::string what = request.Get("do").value_or("");
  if (what == "wait" && !files.empty()) {
    char byte;
    [[maybe_unused]] ssize_t read = ::read(files[0].Get(), &byte, 1);
  } else if (what == "hang") {
    for (;;)
      ::pause();
  } else if (what == "crash") {
    std::abort();
  }
  EngineMessage answer;
  answer.Add("status", "ok");
  answer.Add("worker", std::to_string(::getpid()));
  return answer;
}

ForkingEngine::Limits Limits(long long workers, long long queue = 0,
                             std::chrono::seconds timeLimit = std::chrono::seconds(120)) {
  ForkingEngine::Limits limits;
  limits.workers = workers;
  limits.queue = queue;
  limits.timeLimit = timeLimit;
  return limits;
}

class ForkingEngineTest : public ::testing::Test {
 protected:
  void Start(ForkingEngine::Limits limits) {
    std::string error;
    os::FileHandle listener = os::ListenLocal(socket_, error);
    ASSERT_TRUE(listener.Valid()) << error;
    limits.workersSetting = "WORKERS";
    limits.queueSetting = "QUEUE";
    limits.timeLimitSetting = "TIME";
    limits.memorySetting = "MEMORY";
    engine_ = std::make_unique<ForkingEngine>(std::move(listener), limits, TestWork,
                                              [this](int id) { ended_.push_back(id); });
    server_ = std::thread([this] {
      engine_->Serve(stop_);
      returned_ = true;
    });
  }

  void TearDown() override {
    if (!server_.joinable())
      return;
    stop_ = true;
    int error;
    os::ConnectLocal(socket_, error);  // wakes the loop to see the flag
    server_.join();
  }

  // Connects and sends a request to do `what`, with `file` when given.
  os::FileHandle Send(const std::string& what, const os::FileHandle* file = nullptr) {
    int error = 0;
    os::FileHandle connection = os::ConnectLocal(socket_, error);
    EXPECT_TRUE(connection.Valid()) << error;
    EngineMessage request;
    request.Add("do", what);
    std::vector<const os::FileHandle*> files;
    if (file != nullptr)
      files.push_back(file);
    EXPECT_EQ(os::SendLocalMessage(connection, request.Encode(), files), "");
    return connection;
  }

  static EngineMessage AnswerOn(const os::FileHandle& connection) {
    os::LocalMessage message;
    std::string error;
    EXPECT_EQ(os::ReceiveLocalMessage(connection, std::chrono::seconds(30), message, error),
              os::Received::kMessage)
        << error;
    return EngineMessage::Decode(message.bytes).value_or(EngineMessage());
  }

  vtps_test::TempDir dir_;
  std::string socket_ = dir_.File("engine.sock");
  // Written by the engine's thread (and its destructor), read after it has stopped; so it
  // is declared before the engine, which goes first.
  std::vector<int> ended_;
  std::unique_ptr<ForkingEngine> engine_;
  std::thread server_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> returned_{false};  // Serve has returned
};

TEST_F(ForkingEngineTest, EachRequestGetsAWorkerOfItsOwn) {
  Start(Limits(2));
  std::string first = AnswerOn(Send("answer")).Get("worker").value_or("");
  std::string second = AnswerOn(Send("answer")).Get("worker").value_or("");
  EXPECT_NE(first, "");
  EXPECT_NE(first, second);
  EXPECT_NE(first, std::to_string(::getpid()));
}

TEST_F(ForkingEngineTest, AWorkerPastItsTimeIsEndedAndTheEngineServesOn) {
  Start(Limits(1, 0, std::chrono::seconds(1)));
  EngineMessage answer = AnswerOn(Send("hang"));
  EXPECT_EQ(answer.Get("status"), "failed");
  EXPECT_THAT(answer.Get("message").value_or(""), HasSubstr("took longer than 1 s (TIME)"));
  EXPECT_EQ(AnswerOn(Send("answer")).Get("status"), "ok");
}

TEST_F(ForkingEngineTest, AWorkerThatCrashesIsAnsweredFor) {
  Start(Limits(1));
  EngineMessage answer = AnswerOn(Send("crash"));
  EXPECT_EQ(answer.Get("status"), "failed");
  EXPECT_THAT(answer.Get("message").value_or(""), HasSubstr("ended with SIGABRT"));
  EXPECT_THAT(answer.Get("message").value_or(""), HasSubstr("MEMORY"));
  EXPECT_EQ(AnswerOn(Send("answer")).Get("status"), "ok");
}

TEST_F(ForkingEngineTest, BeyondTheWorkersAndTheQueueTheAnswerIsBusy) {
  Start(Limits(1, 1));
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  os::FileHandle readEnd(ends[0]);
  os::FileHandle writeEnd(ends[1]);
  os::FileHandle running = Send("wait", &readEnd);
  ASSERT_TRUE(vtps_test::WaitUntil([this] { return engine_->Running() == 1; }));
  os::FileHandle waiting = Send("answer");
  ASSERT_TRUE(vtps_test::WaitUntil([this] { return engine_->Waiting() == 1; }));
  EngineMessage refused = AnswerOn(Send("answer"));
  EXPECT_EQ(refused.Get("status"), "busy");
  EXPECT_THAT(refused.Get("message").value_or(""),
              HasSubstr("1 conversions run (WORKERS) and 1 wait (QUEUE)"));
  ASSERT_EQ(::write(writeEnd.Get(), "x", 1), 1);  // the worker that waits may answer now
  EXPECT_EQ(AnswerOn(running).Get("status"), "ok");
  EXPECT_EQ(AnswerOn(waiting).Get("status"), "ok");
}

TEST_F(ForkingEngineTest, AConnectionThatSendsNonsenseIsRefused) {
  Start(Limits(1));
  int error;
  os::FileHandle connection = os::ConnectLocal(socket_, error);
  ASSERT_EQ(os::SendLocalMessage(connection, "GET / HTTP/1.0\r\n\r\n"), "");
  EngineMessage answer = AnswerOn(connection);
  EXPECT_EQ(answer.Get("status"), "failed");
  EXPECT_EQ(AnswerOn(Send("answer")).Get("status"), "ok");
}

TEST_F(ForkingEngineTest, AnIdleEngineEndsByItselfOnlyOnceIdle) {
  ForkingEngine::Limits limits = Limits(1);
  limits.idleExit = std::chrono::seconds(1);
  Start(limits);
  EXPECT_EQ(AnswerOn(Send("answer")).Get("status"), "ok");
  EXPECT_FALSE(returned_);
  EXPECT_TRUE(vtps_test::WaitUntil([this] { return returned_.load(); }));
}

TEST_F(ForkingEngineTest, EveryEndedWorkerIsReported) {
  Start(Limits(2));
  AnswerOn(Send("answer"));
  AnswerOn(Send("crash"));
  // An answer may reach the test before the engine has reaped its worker; a worker the loop
  // had not reaped when it stopped is reported by the engine's end.
  TearDown();
  engine_.reset();
  EXPECT_EQ(ended_.size(), 2u);
}

}  // namespace
}  // namespace pdf::office
