#include "platform/kqmware/server_engine.h"

#include <thread>
#include <vector>

#include "platform/kqmware/kqm_ebusy.h"
#include "platform/kqmware/status_report.h"
#include "platform/kqmware/wire.h"
#include "platform/kqtypes/kq_exception.h"
#include "platform/os/service_manager.h"

namespace kqm {

ServerEngine::ServerEngine(EngineOwner& owner, const TransportMaker& makeTransport,
                           const Limits& limits, const std::optional<ListenPoint>& metrics,
                           const AllowList& metricsAllow)
    : owner_(owner),
      limits_(limits),
      control_(asio::make_strand(io_)),
      signals_(control_),
      stopDeadline_(control_),
      keepRunning_(asio::make_work_guard(io_)),
      slots_(limits.workers, limits.queue),
      supervision_(
          control_, [this] { return State(); }, os::WatchdogInterval()) {
  transport_ = makeTransport(*this);
  if (metrics) {
    metrics_ = std::make_unique<MetricsListener>(
        io_, *metrics, [this] { return State(); }, metricsAllow,
        [this](int level, const std::string& text) { owner_.Log(level, text); });
  }
}

void ServerEngine::HandleRequest(const std::shared_ptr<Message>& message, const Post& post,
                                 Answer answer) {
  // Made only when the request has to wait: it then runs (or is refused) where `post` puts
  // it when its turn comes.
  auto waitingJob = [this, &message, &post, &answer] {
    return [this, message, post, answer](bool granted) {
      post([this, message, answer, granted] {
        if (granted) {
          RunAdmitted(*message, answer);
        } else {
          answer(BusyFrame(message->id));
        }
      });
    };
  };
  switch (slots_.Admit(waitingJob)) {
    case ProcessorSlots::Admission::kRun:
      transport_->CapacityChanged();
      return RunAdmitted(*message, answer);
    case ProcessorSlots::Admission::kQueued:
      transport_->CapacityChanged();
      return;  // the job runs when a slot frees, or is refused when the server stops
    case ProcessorSlots::Admission::kRefused:
      return answer(BusyFrame(message->id));
  }
}

void ServerEngine::RunAdmitted(const Message& message, const Answer& answer) {
  std::string reply = Execute(message);
  if (ProcessorSlots::Job next = slots_.Release())
    next(true);
  transport_->CapacityChanged();
  answer(std::move(reply));
}

bool ServerEngine::Saturated() const {
  ProcessorSlots::Counts counts = slots_.Snapshot();
  return counts.running >= counts.slots && counts.queued >= counts.queueLimit;
}

void ServerEngine::WaitForSignal() {
  if (stopFinished_)
    return;
  signals_.async_wait([this](boost::system::error_code error, int) {
    if (error)
      return;
    StopRequested();
    WaitForSignal();
  });
}

void ServerEngine::StopRequested() {
  if (stopping_) {
    // A second stop signal: no more waiting for the running requests.
    EndProcessors();
  } else if (owner_.AllowExit()) {
    BeginStop();
  }
}

void ServerEngine::BeginStop() {
  if (stopping_.exchange(true))
    return;
  // Idle connections close now, busy ones once their answer is written; a subscription
  // is drained.
  transport_->StopTaking();
  // Requests still waiting for a slot are refused now; the running ones may finish.
  for (ProcessorSlots::Job& waiting : slots_.Close())
    waiting(false);
  keepRunning_.reset();
  supervision_.Stopping(std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(limits_.stopTimeoutMs));
  stopDeadline_.expires_after(std::chrono::milliseconds(limits_.stopTimeoutMs));
  stopDeadline_.async_wait([this](boost::system::error_code error) {
    if (!error)
      EndProcessors();
  });
  FinishStopWhenIdle();
}

void ServerEngine::EndProcessors() {
  if (stopFinished_)
    return;
  int ended = trees_.EndAll();
  if (ended > 0) {
    owner_.Log(0, "stopping: ended " + std::to_string(ended) +
                      " processor run(s) still going after " +
                      std::to_string(limits_.stopTimeoutMs) + " ms (KQM_STOP_TIMEOUT_MS)");
  }
  stopDeadline_.expires_after(std::chrono::milliseconds(100));
  stopDeadline_.async_wait([this](boost::system::error_code error) {
    if (!error)
      EndProcessors();
  });
}

void ServerEngine::FinishStopWhenIdle() {
  if (stopFinished_ || !transport_->Idle())
    return;
  stopFinished_ = true;
  stopDeadline_.cancel();
  supervision_.Finish();
  boost::system::error_code ignored;
  signals_.cancel(ignored);
  if (metrics_)
    metrics_->Close();
}

void ServerEngine::Run(int milliseconds) {
  if (!signalsArmed_ && !stopping_) {
    for (int number : os::StopSignals()) {
      boost::system::error_code ignored;
      signals_.add(number, ignored);
    }
    signalsArmed_ = true;
    // The service manager's stop requests take the signals' way.
    stopHandlerId_ =
        os::AddStopHandler([this] { asio::post(control_, [this] { StopRequested(); }); });
    asio::post(control_, [this] {
      WaitForSignal();
      supervision_.Start();
    });
  }
  io_.restart();
  auto serve = [this, milliseconds] {
    if (milliseconds < 0) {
      io_.run();
    } else {
      io_.run_for(std::chrono::milliseconds(milliseconds));
    }
  };
  // One thread more than there are processor slots: the network side always has one.
  std::vector<std::thread> threads;
  for (int i = 0; i < limits_.workers; ++i)
    threads.emplace_back(serve);
  serve();
  for (std::thread& thread : threads)
    thread.join();
  if (stopping_ && signalsArmed_) {
    // Give the signals back to the process once the server has stopped.
    boost::system::error_code ignored;
    signals_.clear(ignored);
    os::RemoveStopHandler(stopHandlerId_);
    signalsArmed_ = false;
  }
}

bool ServerEngine::RunOne(int milliseconds) {
  io_.restart();
  if (milliseconds < 0)
    return io_.run_one() > 0;
  return io_.run_one_for(std::chrono::milliseconds(milliseconds)) > 0;
}

namespace {

// The exception answer for an answer that cannot be packed or sent.
std::string CannotSend(std::uint64_t id, const std::string& reason) {
  return EncodeFrame(MessageKind::kException, id,
                     KQ_TAny(KQ_EException("the answer cannot be sent: " + reason)));
}

}  // namespace

std::string ServerEngine::Execute(const Message& message) {
  auto started = std::chrono::steady_clock::now();
  MessageKind kind = MessageKind::kAnswer;
  KQ_TAny reply;
  std::string failure;
  const KQ_TDict* request = message.value.DynamicCast<KQ_TDict>();
  try {
    if (request == nullptr) {
      throw KQ_EException(KQ_TString("a request must be a KQ_TDict, not ") +
                          (message.value.IsNull() ? "null" : message.value.ClassName()));
    }
    // The processor trees this request starts are this server's to end.
    os::CommandTreeScope trees(trees_);
    owner_.Process(*request, reply);
  } catch (const KQ_EException& error) {
    kind = MessageKind::kException;
    reply = KQ_TAny(error);
    failure = error.KQ_Message().Text();
  } catch (const std::exception& error) {
    kind = MessageKind::kException;
    reply = KQ_TAny(KQ_EException(error.what()));
    failure = error.what();
  } catch (...) {
    kind = MessageKind::kException;
    failure = "the request failed with an exception of unknown type";
    reply = KQ_TAny(KQ_EException(failure));
  }
  // An exception with an empty message still counts as one.
  if (kind == MessageKind::kException && failure.empty())
    failure = "an exception without a message";
  statistics_.Answered(std::chrono::steady_clock::now() - started, failure);

  try {
    std::string frame = EncodeFrame(kind, message.id, reply);
    if (frame.size() - kFrameHeaderBytes > limits_.maxFrame) {
      throw KQ_EException("the answer of " + std::to_string(frame.size()) +
                          " bytes exceeds the frame limit of " + std::to_string(limits_.maxFrame) +
                          " bytes (KQM_MAX_FRAME_BYTES)");
    }
    return frame;
  } catch (const KQ_EException& error) {
    return CannotSend(message.id, error.KQ_Message().Text());
  } catch (const std::exception& error) {
    return CannotSend(message.id, error.what());
  }
}

std::string ServerEngine::BusyFrame(std::uint64_t id) {
  ProcessorSlots::Counts counts = slots_.Snapshot();
  std::string message = stopping_ ? "the service " + owner_.ServiceName() + " is stopping"
                                  : "the service " + owner_.ServiceName() +
                                        " is busy: " + std::to_string(counts.running) +
                                        " requests running and " + std::to_string(counts.queued) +
                                        " waiting (KQM_WORKERS " + std::to_string(counts.slots) +
                                        ", KQM_QUEUE " + std::to_string(counts.queueLimit) + ")";
  statistics_.Refused(message);
  return EncodeFrame(MessageKind::kException, id, KQ_TAny(KQM_EBusy(message)));
}

std::string ServerEngine::StatusFrame(std::uint64_t id) const {
  return EncodeFrame(MessageKind::kAnswer, id, KQ_TAny(StatusDictionary(State())));
}

void ServerEngine::Close() {
  if (closed_)
    return;
  closed_ = true;
  os::RemoveStopHandler(stopHandlerId_);
  // No thread runs the io_context any more, so the connections are closed directly and the
  // handlers of their aborted operations drained here.
  BeginStop();
  transport_->Close();
  FinishStopWhenIdle();
  io_.restart();
  io_.run();
}

}  // namespace kqm
