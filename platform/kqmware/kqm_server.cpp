#include "platform/kqmware/kqm_server.h"

#include <utility>  // Boost 1.74 Asio uses std::exchange without including it

#include <algorithm>
#include <boost/asio.hpp>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "platform/kqmware/debug_log.h"
#include "platform/kqmware/kqm_ebusy.h"
#include "platform/kqmware/metrics_listener.h"
#include "platform/kqmware/nats_services.h"
#include "platform/kqmware/nats_transport.h"
#include "platform/kqmware/options.h"
#include "platform/kqmware/processor_slots.h"
#include "platform/kqmware/server_statistics.h"
#include "platform/kqmware/service_directory.h"
#include "platform/kqmware/settings.h"
#include "platform/kqmware/status_report.h"
#include "platform/kqmware/supervision.h"
#include "platform/kqmware/tcp_transport.h"
#include "platform/kqmware/wire.h"
#include "platform/kqtypes/kq_exception.h"
#include "platform/kqtypes/kq_value_class.h"
#include "platform/os/os.h"
#include "platform/os/service_manager.h"

namespace asio = boost::asio;
using asio::ip::tcp;

std::string KQM_TSocket::Describe() const {
  return std::to_string(id_) + " (" + peerAddress_ + ":" + std::to_string(peerPort_) + ")";
}

// The shared side of a bound server, whatever the transport: the processor slots and the
// queue, the statistics, the status probe, the busy answers, the signals and the stop.
// EventLoop runs its io_context on KQM_WORKERS + 1 threads. A request runs its processor on
// the thread that handed it over when a slot is free, so it costs no hand-over between
// threads; at most KQM_WORKERS threads hold a slot, so one thread is always left for the
// transport's network work and the status probe. The signals, the service manager's stop
// requests, the stop and the reports to the service manager (supervision.h) run on
// `control_`. The engine owns its transport (direct TCP or NATS, see server_transport.h).
class KQM_TServer::Engine : public kqm::TransportHost {
 public:
  struct Limits {
    std::size_t maxFrame = 0;
    int workers = 1;
    std::size_t queue = 0;
    int stopTimeoutMs = 0;
  };
  // Makes the transport once the engine is ready to host it; throws when it cannot.
  using TransportMaker = std::function<std::unique_ptr<kqm::ServerTransport>(TransportHost&)>;

  // The metrics listener, when `metrics` is set, serves the peers `metricsAllow` names.
  Engine(KQM_TServer& owner, const TransportMaker& makeTransport, const Limits& limits,
         const std::optional<kqm::ListenPoint>& metrics, const kqm::AllowList& metricsAllow);
  ~Engine() override { Close(); }

  std::uint16_t Port() const { return transport_->Port(); }
  std::uint16_t MetricsPort() const { return metrics_ ? metrics_->Port() : 0; }
  kqm::ServerState State() const override {
    kqm::ServerState state =
        statistics_.Snapshot(owner_.serviceName_, slots_.Snapshot(), stopping_);
    state.responding = supervision_.Responding();
    return state;
  }
  void Run(int milliseconds);
  bool RunOne(int milliseconds);
  // Safe from any thread.
  void Stop() {
    asio::post(control_, [this] { BeginStop(); });
  }
  void Close();

  // kqm::TransportHost
  void HandleRequest(const std::shared_ptr<kqm::Message>& message, const Post& post,
                     Answer answer) override;
  std::string StatusFrame(std::uint64_t id) const override;
  void Log(int level, const std::string& text) const override { owner_.DBG_Type(level, text); }
  void TransportIdle() override {
    asio::post(control_, [this] { FinishStopWhenIdle(); });
  }
  bool Saturated() const override;
  const std::string& ServiceName() const override { return owner_.serviceName_; }
  std::size_t MaxFrame() const override { return limits_.maxFrame; }
  asio::io_context& Io() override { return io_; }
  asio::strand<asio::io_context::executor_type>& Control() override { return control_; }
  void ConnectionAdded(const KQM_TSocket& socket) override { owner_.ConnectionAdded(socket); }
  void ConnectionDropped(const KQM_TSocket& socket) override { owner_.ConnectionDropped(socket); }

 private:
  void BeginStop();
  void WaitForSignal();
  // A stop signal, or the service manager's stop request: the first begins the stop (when
  // AllowExit agrees), a later one ends the processors at once. On control_.
  void StopRequested();
  // Once stopping and the transport is idle: lets go of what keeps the loop running.
  void FinishStopWhenIdle();
  // Ends the processor trees still running; again shortly while requests remain, for a
  // processor started just after.
  void EndProcessors();
  // Runs a request that holds a slot, passes the slot on, then answers.
  void RunAdmitted(const kqm::Message& message, const Answer& answer);
  // Runs the processor for `request` (the caller holds a slot) and gives the reply frame.
  std::string Execute(const kqm::Message& request);
  // The KQM_EBusy reply for a request refused now.
  std::string BusyFrame(std::uint64_t id);

  KQM_TServer& owner_;
  const Limits limits_;
  asio::io_context io_;
  asio::strand<asio::io_context::executor_type> control_;
  asio::signal_set signals_;
  asio::steady_timer stopDeadline_;  // on control_
  std::optional<asio::executor_work_guard<asio::io_context::executor_type>> keepRunning_;
  std::unique_ptr<kqm::MetricsListener> metrics_;
  kqm::ProcessorSlots slots_;
  kqm::ServerStatistics statistics_;
  kqm::Supervision supervision_;
  os::CommandTrees trees_;  // the processor trees this server's requests run
  std::atomic<bool> stopping_{false};
  bool signalsArmed_ = false;        // on the EventLoop thread
  std::uint64_t stopHandlerId_ = 0;  // the service manager's stop requests, while armed
  bool stopFinished_ = false;        // on control_
  bool closed_ = false;
  // Declared last so that it goes first, while the io_context it uses still exists.
  std::unique_ptr<kqm::ServerTransport> transport_;
};

KQM_TServer::Engine::Engine(KQM_TServer& owner, const TransportMaker& makeTransport,
                            const Limits& limits, const std::optional<kqm::ListenPoint>& metrics,
                            const kqm::AllowList& metricsAllow)
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
    metrics_ = std::make_unique<kqm::MetricsListener>(
        io_, *metrics, [this] { return State(); }, metricsAllow,
        [this](int level, const std::string& text) { owner_.DBG_Type(level, text); });
  }
}

void KQM_TServer::Engine::HandleRequest(const std::shared_ptr<kqm::Message>& message,
                                        const Post& post, Answer answer) {
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
    case kqm::ProcessorSlots::Admission::kRun:
      transport_->CapacityChanged();
      return RunAdmitted(*message, answer);
    case kqm::ProcessorSlots::Admission::kQueued:
      transport_->CapacityChanged();
      return;  // the job runs when a slot frees, or is refused when the server stops
    case kqm::ProcessorSlots::Admission::kRefused:
      return answer(BusyFrame(message->id));
  }
}

void KQM_TServer::Engine::RunAdmitted(const kqm::Message& message, const Answer& answer) {
  std::string reply = Execute(message);
  if (kqm::ProcessorSlots::Job next = slots_.Release())
    next(true);
  transport_->CapacityChanged();
  answer(std::move(reply));
}

bool KQM_TServer::Engine::Saturated() const {
  kqm::ProcessorSlots::Counts counts = slots_.Snapshot();
  return counts.running >= counts.slots && counts.queued >= counts.queueLimit;
}

void KQM_TServer::Engine::WaitForSignal() {
  if (stopFinished_)
    return;
  signals_.async_wait([this](boost::system::error_code error, int) {
    if (error)
      return;
    StopRequested();
    WaitForSignal();
  });
}

void KQM_TServer::Engine::StopRequested() {
  if (stopping_) {
    // A second stop signal: no more waiting for the running requests.
    EndProcessors();
  } else if (owner_.AllowExit()) {
    BeginStop();
  }
}

void KQM_TServer::Engine::BeginStop() {
  if (stopping_.exchange(true))
    return;
  // Idle connections close now, busy ones once their answer is written; a subscription
  // is drained.
  transport_->StopTaking();
  // Requests still waiting for a slot are refused now; the running ones may finish.
  for (kqm::ProcessorSlots::Job& waiting : slots_.Close())
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

void KQM_TServer::Engine::EndProcessors() {
  if (stopFinished_)
    return;
  int ended = trees_.EndAll();
  if (ended > 0) {
    owner_.DBG_Type(0, "stopping: ended " + std::to_string(ended) +
                           " processor run(s) still going after " +
                           std::to_string(limits_.stopTimeoutMs) + " ms (KQM_STOP_TIMEOUT_MS)");
  }
  stopDeadline_.expires_after(std::chrono::milliseconds(100));
  stopDeadline_.async_wait([this](boost::system::error_code error) {
    if (!error)
      EndProcessors();
  });
}

void KQM_TServer::Engine::FinishStopWhenIdle() {
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

void KQM_TServer::Engine::Run(int milliseconds) {
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

bool KQM_TServer::Engine::RunOne(int milliseconds) {
  io_.restart();
  if (milliseconds < 0)
    return io_.run_one() > 0;
  return io_.run_one_for(std::chrono::milliseconds(milliseconds)) > 0;
}

namespace {

// The exception answer for an answer that cannot be packed or sent.
std::string CannotSend(std::uint64_t id, const std::string& reason) {
  return kqm::EncodeFrame(kqm::MessageKind::kException, id,
                          KQ_TAny(KQ_EException("the answer cannot be sent: " + reason)));
}

}  // namespace

std::string KQM_TServer::Engine::Execute(const kqm::Message& message) {
  auto started = std::chrono::steady_clock::now();
  kqm::MessageKind kind = kqm::MessageKind::kAnswer;
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
    kind = kqm::MessageKind::kException;
    reply = KQ_TAny(error);
    failure = error.KQ_Message().Text();
  } catch (const std::exception& error) {
    kind = kqm::MessageKind::kException;
    reply = KQ_TAny(KQ_EException(error.what()));
    failure = error.what();
  } catch (...) {
    kind = kqm::MessageKind::kException;
    failure = "the request failed with an exception of unknown type";
    reply = KQ_TAny(KQ_EException(failure));
  }
  // An exception with an empty message still counts as one.
  if (kind == kqm::MessageKind::kException && failure.empty())
    failure = "an exception without a message";
  statistics_.Answered(std::chrono::steady_clock::now() - started, failure);

  try {
    std::string frame = kqm::EncodeFrame(kind, message.id, reply);
    if (frame.size() - kqm::kFrameHeaderBytes > limits_.maxFrame) {
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

std::string KQM_TServer::Engine::BusyFrame(std::uint64_t id) {
  kqm::ProcessorSlots::Counts counts = slots_.Snapshot();
  std::string message = stopping_ ? "the service " + owner_.serviceName_ + " is stopping"
                                  : "the service " + owner_.serviceName_ +
                                        " is busy: " + std::to_string(counts.running) +
                                        " requests running and " + std::to_string(counts.queued) +
                                        " waiting (KQM_WORKERS " + std::to_string(counts.slots) +
                                        ", KQM_QUEUE " + std::to_string(counts.queueLimit) + ")";
  statistics_.Refused(message);
  return kqm::EncodeFrame(kqm::MessageKind::kException, id, KQ_TAny(KQM_EBusy(message)));
}

std::string KQM_TServer::Engine::StatusFrame(std::uint64_t id) const {
  return kqm::EncodeFrame(kqm::MessageKind::kAnswer, id, KQ_TAny(kqm::StatusDictionary(State())));
}

void KQM_TServer::Engine::Close() {
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

// KQM_TServer

KQ_TClass* KQM_TServer::KQ_ClassObject() {
  return KQ_ValueClassObject<KQM_TServer, KQ_TObject>();
}

void* KQM_TServer::KQ_DynamicInfo(const char* className) const {
  return KQ_AnswerDynamicInfo<KQ_TObject>(this, KQ_ClassObject(), className);
}

KQM_TServer::KQM_TServer()
    : serviceName_(os::ProgramName()), debugLevel_(kqm::InitialDebugLevel()) {}

KQM_TServer::~KQM_TServer() {
  Close();
}

void KQM_TServer::Bind(const KQ_TString& serviceName, std::uint16_t port, std::uint16_t backlog,
                       bool allInterfaces) {
  Bind(serviceName, port, backlog, allInterfaces, kqm::ServerOptions::FromEnvironment());
}

void KQM_TServer::Bind(const KQ_TString& serviceName, std::uint16_t port, std::uint16_t backlog,
                       bool allInterfaces, const kqm::ServerOptions& options) {
  if (engine_ != nullptr)
    throw KQ_EException(KQ_TString("the server is bound already, as ") + serviceName_);
  if (serviceName.Empty())
    throw KQ_EException("a server needs a service name to bind");
  const std::optional<kqm::AllowList>& allowSetting = options.allow;
  // A listener open to every peer, for the warning once bound: its address ("" for none).
  std::string openService;
  Engine::Limits limits;
  limits.maxFrame = options.maxFrameBytes;
  limits.workers = options.workers;
  limits.queue = options.queueLimit;
  limits.stopTimeoutMs = options.stopTimeoutMs;
  // Each connection holds a descriptor: take what the hard limit allows, and keep the
  // connections within what it leaves beside the server's own needs.
  kqm::ConnectionRules rules;
  rules.limit = kqm::EffectiveConnectionLimit(options.maxConnections, os::RaiseDescriptorLimit(),
                                              limits.workers);
  rules.idleTimeoutMs = options.idleTimeoutMs;
  Engine::TransportMaker makeTransport;
  const std::optional<std::string>& natsUrl = options.natsUrl;
  if (natsUrl) {
    kqm::CheckSubjectToken(serviceName.Text());
    kqm::CheckServiceName(serviceName.Text());
    makeTransport = [url = *natsUrl, connectTimeoutMs = options.connectTimeoutMs,
                     security = options.natsSecurity](kqm::TransportHost& host) {
      return kqm::MakeNatsServerTransport(host, url, connectTimeoutMs, security);
    };
  } else {
    std::uint16_t usedPort = port != 0 ? port : kqm::ServicePort(serviceName.Text());
    std::string listen = allInterfaces ? "::" : options.listenAddress;
    boost::system::error_code error;
    asio::ip::address address = asio::ip::make_address(listen, error);
    if (error) {
      throw KQ_EException(KQ_TString("KQM_LISTEN is \"") + listen +
                          "\": expected an IP address such as 127.0.0.1, 0.0.0.0 or ::");
    }
    kqm::AllowList allow = kqm::AllowedPeers(allowSetting, listen);
    if (allow.AllowsEveryone())
      openService = listen;
    makeTransport = [endpoint = tcp::endpoint(address, usedPort), backlog, allow,
                     rules](kqm::TransportHost& host) {
      return std::make_unique<kqm::TcpTransport>(host, endpoint, backlog, allow, rules);
    };
  }
  const std::optional<kqm::ListenPoint>& metrics = options.metricsListen;
  kqm::AllowList metricsAllow =
      kqm::AllowedPeers(allowSetting, metrics ? metrics->host : "127.0.0.1");
  std::string previousName = serviceName_;
  serviceName_ = serviceName.Text();
  try {
    engine_ = std::make_unique<Engine>(*this, makeTransport, limits, metrics, metricsAllow);
  } catch (...) {
    serviceName_ = previousName;
    throw;
  }
  auto warnOpen = [this](const std::string& listener) {
    DBG_Type(0, "warning: " + listener +
                    " reaches beyond loopback and KQM_ALLOW is unset, so every peer that reaches "
                    "it is let in; set KQM_ALLOW to the addresses and networks that may connect");
  };
  if (!natsUrl) {
    const kqm::ConnectionLimit& limit = rules.limit;
    DBG_Type(
        4, "descriptor limit " +
               (limit.descriptors > 0 ? std::to_string(limit.descriptors) : "none") +
               "; connections " + limit.Describe() + ", idle ones closed after " +
               (rules.idleTimeoutMs > 0 ? std::to_string(rules.idleTimeoutMs) + " ms" : "no time") +
               " (KQM_IDLE_TIMEOUT_MS)");
    if (limit.LoweredByDescriptors()) {
      DBG_Type(2, "warning: the descriptor limit " + std::to_string(limit.descriptors) +
                      " allows " + std::to_string(limit.maximum) +
                      " connections, fewer than KQM_MAX_CONNECTIONS " +
                      std::to_string(limit.setting) + "; raise the limit (ulimit -n, LimitNOFILE)");
    }
  }
  if (!openService.empty()) {
    warnOpen("the listener of " + serviceName_ + " on " + openService + " port " +
             std::to_string(engine_->Port()));
  }
  if (metrics && metricsAllow.AllowsEveryone()) {
    warnOpen("the metrics listener on " + metrics->host + " port " +
             std::to_string(engine_->MetricsPort()));
  }
  // Shutdown may run on another thread meanwhile: it sets its flag before it looks for the
  // engine, and the engine is published before the flag is looked at, so one of the two
  // stops it (Stop twice is harmless).
  running_.store(engine_.get());
  if (stopRequested_.load())
    engine_->Stop();
}

void KQM_TServer::SetProcessor(Processor processor, void* user) {
  processor_ = processor;
  user_ = user;
}

void KQM_TServer::EventLoop(int milliseconds) {
  if (engine_ == nullptr)
    throw KQ_EException("EventLoop needs a bound server; call Bind first");
  engine_->Run(milliseconds);
}

void KQM_TServer::Close() {
  if (engine_ != nullptr)
    engine_->Close();
}

std::uint16_t KQM_TServer::BoundPort() const {
  return engine_ == nullptr ? 0 : engine_->Port();
}

std::uint16_t KQM_TServer::MetricsPort() const {
  return engine_ == nullptr ? 0 : engine_->MetricsPort();
}

KQ_TDict KQM_TServer::Status() const {
  if (engine_ == nullptr)
    throw KQ_EException("a server has a status once it is bound; call Bind first");
  return kqm::StatusDictionary(engine_->State());
}

int KQM_TServer::GetDebugLevel() const {
  return debugLevel_.load(std::memory_order_relaxed);
}

void KQM_TServer::Shutdown() {
  stopRequested_.store(true);
  if (Engine* engine = running_.load())
    engine->Stop();
}

void KQM_TServer::SetDebugLevel(int level) {
  debugLevel_.store(level, std::memory_order_relaxed);
}

void KQM_TServer::DBG_Type(int level, const std::string& text) const {
  if (level > GetDebugLevel())
    return;
  kqm::DebugLog::Instance().Write(
      kqm::FormatDebugLine(kqm::UtcTimestamp(std::chrono::system_clock::now()), serviceName_,
                           os::ProcessId(), os::CurrentThreadId(), level, text));
}

void KQM_TServer::DBG_Type(int level, const KQ_TString& text) const {
  DBG_Type(level, text.Text());
}

void KQM_TServer::DBG_Type(int level, const char* text) const {
  DBG_Type(level, std::string(text == nullptr ? "" : text));
}

bool KQM_TServer::HandleEvent(int milliseconds) {
  if (engine_ == nullptr)
    throw KQ_EException("HandleEvent needs a bound server; call Bind first");
  return engine_->RunOne(milliseconds);
}

void KQM_TServer::Process(const KQ_TDict& request, KQ_TAny& answer) {
  if (processor_ == nullptr)
    throw KQ_EException(KQ_TString("the service ") + serviceName_ + " has no request processor");
  processor_(*this, request, answer, user_);
}

void KQM_TServer::ConnectionAdded(const KQM_TSocket& socket) {
  DBG_Type(4, "connection " + socket.Describe() + " opened");
}

void KQM_TServer::ConnectionDropped(const KQM_TSocket& socket) {
  DBG_Type(4, "connection " + socket.Describe() + " closed");
}

bool KQM_TServer::AllowExit() {
  return true;
}
