// The engine's queue, busy answers, status and stop, driven through a fake transport: no
// sockets, no message bus. The fake hands requests over the way a real transport does (on one of
// the engine's threads) and says when it is idle after a stop only when the test lets it.
#include "platform/kqmware/server_engine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "platform/kqmware/kqm_ebusy.h"
#include "platform/kqmware/kqmware.h"
#include "platform/kqmware/wire.h"
#include "platform/kqtypes/kqtypes.h"
#include "tests/support/gate.h"
#include "tests/support/test_support.h"

namespace {

using namespace std::chrono_literals;

using vtps_test::Gate;

// Requests "Hold" wait at the gate until the test opens it; every other request answers its
// P1.
class FakeOwner : public kqm::EngineOwner {
 public:
  explicit FakeOwner(Gate& gate) : gate_(gate) {}
  const std::string& ServiceName() const override { return name_; }
  void Log(int, const std::string&) const override {}
  void Process(const KQ_TDict& request, KQ_TAny& answer) override {
    const KQ_TString* method = request["M"].DynamicCast<KQ_TString>();
    if (method != nullptr && *method == "Hold")
      gate_.Enter();
    answer = request["P1"];
  }
  bool AllowExit() override { return true; }

 private:
  Gate& gate_;
  const std::string name_ = "Fake";
};

// A transport without a network: Send hands a request to the engine as a transport does.
class FakeTransport : public kqm::ServerTransport {
 public:
  explicit FakeTransport(kqm::TransportHost& host) : host_(host) {}

  // Sends {"M": method, "P1": parameter} and gives the reply when the engine answers.
  std::future<kqm::Message> Send(const char* method, const KQ_TAny& parameter = KQ_TAny("x")) {
    auto reply = std::make_shared<std::promise<kqm::Message>>();
    std::future<kqm::Message> answered = reply->get_future();
    KQ_TDict request;
    request["M"] = method;
    request["P1"] = parameter;
    auto message = std::make_shared<kqm::Message>();
    message->kind = kqm::MessageKind::kRequest;
    message->id = nextId_++;
    message->value = KQ_TAny(request);
    ++outstanding_;
    boost::asio::io_context& io = host_.Io();
    boost::asio::post(io, [this, &io, message, reply] {
      host_.HandleRequest(
          message, [&io](std::function<void()> work) { boost::asio::post(io, std::move(work)); },
          [this, reply](std::string frame) {
            // Counted as answered before the test can see the answer; once let go, the last
            // answer makes the transport idle, as a real transport's does.
            bool last = --outstanding_ == 0;
            reply->set_value(
                kqm::DecodePayload(std::string_view(frame).substr(kqm::kFrameHeaderBytes)));
            if (last && letGo_)
              host_.TransportIdle();
          });
    });
    return answered;
  }

  // The status the engine reports now.
  KQ_TDict Status() {
    std::string frame = host_.StatusFrame(0);
    kqm::Message message =
        kqm::DecodePayload(std::string_view(frame).substr(kqm::kFrameHeaderBytes));
    return *message.value.DynamicCast<KQ_TDict>();
  }

  // After StopTaking: the transport has let go of everything; the engine may finish.
  void LetGo() {
    letGo_ = true;
    host_.TransportIdle();
  }

  void StopTaking() override { stopTaking_ = true; }
  bool Idle() const override { return letGo_ && outstanding_ == 0; }
  void Close() override { letGo_ = true; }
  void CapacityChanged() override {
    ++capacityChanges_;
    if (host_.Saturated())
      sawSaturated_ = true;
  }

  std::atomic<bool> stopTaking_{false};
  std::atomic<bool> sawSaturated_{false};
  std::atomic<int> capacityChanges_{0};

 private:
  kqm::TransportHost& host_;
  std::uint64_t nextId_ = 1;
  std::atomic<int> outstanding_{0};
  std::atomic<bool> letGo_{false};
};

std::int64_t Number(const KQ_TDict& status, const char* key) {
  return status[key].DynamicCast<KQ_TInt>()->Value();
}

// The text of the KQM_EBusy a reply carries, or "" when it carries none.
std::string BusyText(const kqm::Message& reply) {
  if (reply.kind != kqm::MessageKind::kException)
    return "";
  const auto* busy = reply.value.DynamicCast<KQM_EBusy>();
  return busy == nullptr ? "" : busy->KQ_Message().Text();
}

// An engine with a fake transport, its loop on a thread of its own.
class EngineWithFakeTransport : public ::testing::Test {
 protected:
  void SetUp() override { __KQ_INITIALIZATION_FUNCTION_KQMWare__(); }

  void Start(int workers, std::size_t queue, int stopTimeoutMs = 30000) {
    kqm::ServerEngine::Limits limits;
    limits.maxFrame = 1 << 20;
    limits.workers = workers;
    limits.queue = queue;
    limits.stopTimeoutMs = stopTimeoutMs;
    engine_ = std::make_unique<kqm::ServerEngine>(
        owner_,
        [this](kqm::TransportHost& host) {
          auto transport = std::make_unique<FakeTransport>(host);
          transport_ = transport.get();
          return transport;
        },
        limits, std::nullopt, kqm::AllowList());
    loop_ = std::async(std::launch::async, [this] { engine_->Run(-1); });
  }

  void TearDown() override {
    if (engine_ == nullptr)
      return;
    gate_.Open();
    engine_->Stop();
    transport_->LetGo();
    EXPECT_EQ(loop_.wait_for(20s), std::future_status::ready);
    engine_->Close();
  }

  Gate gate_;
  FakeOwner owner_{gate_};
  std::unique_ptr<kqm::ServerEngine> engine_;
  FakeTransport* transport_ = nullptr;
  std::future<void> loop_;
};

TEST_F(EngineWithFakeTransport, AFullQueueRefusesWithBusyWhileTheStatusAnswers) {
  Start(1, 1);
  std::future<kqm::Message> running = transport_->Send("Hold");
  ASSERT_TRUE(gate_.AwaitInside(1));
  std::future<kqm::Message> waiting = transport_->Send("Echo", KQ_TAny("waited"));
  ASSERT_TRUE(vtps_test::WaitUntil([&] { return Number(transport_->Status(), "queued") == 1; }));
  std::future<kqm::Message> refused = transport_->Send("Echo");
  ASSERT_EQ(refused.wait_for(20s), std::future_status::ready);
  EXPECT_NE(BusyText(refused.get()).find("1 requests running and 1 waiting"), std::string::npos);

  // The status comes from the network side while the only slot is taken.
  KQ_TDict status = transport_->Status();
  EXPECT_EQ(Number(status, "running"), 1);
  EXPECT_EQ(Number(status, "queued"), 1);
  EXPECT_EQ(Number(status, "refused"), 1);
  EXPECT_TRUE(transport_->sawSaturated_) << "the transport was not told the engine is full";

  gate_.Open();
  EXPECT_TRUE(running.get().value == KQ_TAny("x"));
  EXPECT_TRUE(waiting.get().value == KQ_TAny("waited"));
  EXPECT_EQ(Number(transport_->Status(), "answered"), 2);
}

TEST_F(EngineWithFakeTransport, AStopRefusesTheWaitingLetsTheRunningFinishAndWaitsForTheTransport) {
  Start(1, 4);
  std::future<kqm::Message> running = transport_->Send("Hold");
  ASSERT_TRUE(gate_.AwaitInside(1));
  std::future<kqm::Message> waiting[] = {transport_->Send("Echo"), transport_->Send("Echo")};
  ASSERT_TRUE(vtps_test::WaitUntil([&] { return Number(transport_->Status(), "queued") == 2; }));

  engine_->Stop();
  for (auto& refused : waiting) {
    ASSERT_EQ(refused.wait_for(20s), std::future_status::ready);
    EXPECT_NE(BusyText(refused.get()).find("the service Fake is stopping"), std::string::npos);
  }
  EXPECT_TRUE(transport_->stopTaking_);
  EXPECT_TRUE(transport_->Status()["stopping"] == KQ_TAny(true));
  gate_.Open();
  EXPECT_TRUE(running.get().value == KQ_TAny("x")) << "the running request is still answered";
  // Everything is answered, but the transport still holds something open: no return yet.
  EXPECT_EQ(loop_.wait_for(200ms), std::future_status::timeout);
  transport_->LetGo();
  EXPECT_EQ(loop_.wait_for(20s), std::future_status::ready);
}

}  // namespace
