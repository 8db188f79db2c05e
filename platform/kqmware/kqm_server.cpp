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
#include "platform/kqmware/options.h"
#include "platform/kqmware/processor_slots.h"
#include "platform/kqmware/program_options.h"
#include "platform/kqmware/server_engine.h"
#include "platform/kqmware/server_statistics.h"
#include "platform/kqmware/server_transport_factory.h"
#include "platform/kqmware/settings.h"
#include "platform/kqmware/status_report.h"
#include "platform/kqmware/supervision.h"
#include "platform/kqmware/wire.h"
#include "platform/kqtypes/kq_exception.h"
#include "platform/kqtypes/kq_value_class.h"
#include "platform/os/os.h"
#include "platform/os/service_manager.h"

// What the engine asks of the server, answered by the server's own (virtual) operations.
class KQM_TServer::Owner : public kqm::EngineOwner {
 public:
  explicit Owner(KQM_TServer& server) : server_(server) {}
  const std::string& ServiceName() const override { return server_.serviceName_; }
  void Log(int level, const std::string& text) const override { server_.DBG_Type(level, text); }
  void Process(const KQ_TDict& request, KQ_TAny& answer) override {
    server_.Process(request, answer);
  }
  bool AllowExit() override { return server_.AllowExit(); }

 private:
  KQM_TServer& server_;
};

// KQM_TServer

KQ_TClass* KQM_TServer::KQ_ClassObject() {
  return KQ_ValueClassObject<KQM_TServer, KQ_TObject>();
}

void* KQM_TServer::KQ_DynamicInfo(const char* className) const {
  return KQ_AnswerDynamicInfo<KQ_TObject>(this, KQ_ClassObject(), className);
}

KQM_TServer::KQM_TServer() : KQM_TServer(kqm::ProgramOptionsInUse().debugLevel) {}

KQM_TServer::KQM_TServer(int debugLevel)
    : serviceName_(os::ProgramName()), debugLevel_(debugLevel) {}

KQM_TServer::~KQM_TServer() {
  Close();
}

void KQM_TServer::Bind(const KQ_TString& serviceName, std::uint16_t port, std::uint16_t backlog,
                       bool allInterfaces) {
  Bind(serviceName, port, backlog, allInterfaces, kqm::ProgramOptionsInUse().server);
}

void KQM_TServer::Bind(const KQ_TString& serviceName, std::uint16_t port, std::uint16_t backlog,
                       bool allInterfaces, const kqm::ServerOptions& options) {
  if (engine_ != nullptr)
    throw KQ_EException(KQ_TString("the server is bound already, as ") + serviceName_);
  if (serviceName.Empty())
    throw KQ_EException("a server needs a service name to bind");
  const std::optional<kqm::AllowList>& allowSetting = options.allow;
  kqm::ServerEngine::Limits limits;
  limits.maxFrame = options.maxFrameBytes;
  limits.workers = options.workers;
  limits.queue = options.queueLimit;
  limits.stopTimeoutMs = options.stopTimeoutMs;
  kqm::ConnectionHooks hooks;
  hooks.added = [this](const KQM_TSocket& socket) { ConnectionAdded(socket); };
  hooks.dropped = [this](const KQM_TSocket& socket) { ConnectionDropped(socket); };
  kqm::TransportMaker transport =
      kqm::ChooseServerTransport(options, serviceName.Text(), port, backlog, allInterfaces, hooks);
  const std::optional<kqm::ListenPoint>& metrics = options.metricsListen;
  kqm::AllowList metricsAllow =
      kqm::AllowedPeers(allowSetting, metrics ? metrics->host : "127.0.0.1");
  std::string previousName = serviceName_;
  serviceName_ = serviceName.Text();
  try {
    owner_ = std::make_unique<Owner>(*this);
    engine_ =
        std::make_unique<kqm::ServerEngine>(*owner_, transport, limits, metrics, metricsAllow);
  } catch (...) {
    serviceName_ = previousName;
    throw;
  }
  engine_->ReportTransportSettings();
  if (metrics && metricsAllow.AllowsEveryone()) {
    DBG_Type(0, kqm::EveryPeerWarning("the metrics listener on " + metrics->host + " port " +
                                      std::to_string(engine_->MetricsPort())));
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
  if (kqm::ServerEngine* engine = running_.load())
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
