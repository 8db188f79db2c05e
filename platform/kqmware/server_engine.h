// ServerEngine, the shared side of a bound server whatever its transport: the processor
// slots and the queue, the statistics, the status probe, the busy answers, the signals and the
// stop. KQM_TServer is its owner (EngineOwner): it names the service, writes the log lines and
// runs the processor. The engine owns its transport (server_transport.h), which it makes
// with the TransportMaker it is given, so that tests can drive it with a fake one.
//
// Threads: Run runs the engine's io_context on limits.workers + 1 threads (the calling
// thread is one of them). A request runs its processor on the thread that handed it over
// when a slot is free, so it costs no hand-over between threads; at most limits.workers
// threads hold a slot, so one thread is always left for the transport's network work and
// the status probe. The signals, the service manager's stop requests, the stop and the
// reports to the service manager (supervision.h) run on the control strand. Stop, State and
// the TransportHost operations are safe from any thread; Run, RunOne and Close belong to the
// owner's thread, Close once no Run is running.
#pragma once

#include <utility>  // Boost 1.74 Asio uses std::exchange without including it

#include <atomic>
#include <boost/asio.hpp>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/kqmware/allow_list.h"
#include "platform/kqmware/metrics_listener.h"
#include "platform/kqmware/processor_slots.h"
#include "platform/kqmware/server_statistics.h"
#include "platform/kqmware/server_transport.h"
#include "platform/kqmware/settings.h"
#include "platform/kqmware/supervision.h"
#include "platform/kqtypes/kq_any.h"
#include "platform/kqtypes/kq_dict.h"
#include "platform/os/os.h"

namespace kqm {

// What the engine asks of the server that owns it.
class EngineOwner {
 public:
  virtual ~EngineOwner() = default;
  virtual const std::string& ServiceName() const = 0;
  // Writes a line to the server's debug channel.
  virtual void Log(int level, const std::string& text) const = 0;
  // Runs the processor for `request`, filling `answer`; throws what the processor throws.
  virtual void Process(const KQ_TDict& request, KQ_TAny& answer) = 0;
  // Whether a stop signal may stop the server.
  virtual bool AllowExit() = 0;
};

namespace asio = boost::asio;

class ServerEngine : public TransportHost {
 public:
  struct Limits {
    std::size_t maxFrame = 0;
    int workers = 1;
    std::size_t queue = 0;
    int stopTimeoutMs = 0;
  };
  using TransportMaker = kqm::TransportMaker;

  // The metrics listener, when `metrics` is set, serves the peers `metricsAllow` names.
  ServerEngine(EngineOwner& owner, const TransportMaker& makeTransport, const Limits& limits,
               const std::optional<ListenPoint>& metrics, const AllowList& metricsAllow);
  ~ServerEngine() override { Close(); }

  std::uint16_t Port() const { return transport_->Port(); }
  // Has the transport log what it allows (ServerTransport::ReportSettings).
  void ReportTransportSettings() const { transport_->ReportSettings(); }
  std::uint16_t MetricsPort() const { return metrics_ ? metrics_->Port() : 0; }
  ServerState State() const override {
    ServerState state = statistics_.Snapshot(owner_.ServiceName(), slots_.Snapshot(), stopping_);
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

  // TransportHost
  void HandleRequest(const std::shared_ptr<Message>& message, const Post& post,
                     Answer answer) override;
  std::string StatusFrame(std::uint64_t id) const override;
  void Log(int level, const std::string& text) const override { owner_.Log(level, text); }
  void TransportIdle() override {
    asio::post(control_, [this] { FinishStopWhenIdle(); });
  }
  bool Saturated() const override;
  const std::string& ServiceName() const override { return owner_.ServiceName(); }
  std::size_t MaxFrame() const override { return limits_.maxFrame; }
  asio::io_context& Io() override { return io_; }
  asio::strand<asio::io_context::executor_type>& Control() override { return control_; }

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
  void RunAdmitted(const Message& message, const Answer& answer);
  // Runs the processor for `request` (the caller holds a slot) and gives the reply frame.
  std::string Execute(const Message& request);
  // The KQM_EBusy reply for a request refused now.
  std::string BusyFrame(std::uint64_t id);

  EngineOwner& owner_;
  const Limits limits_;
  asio::io_context io_;
  asio::strand<asio::io_context::executor_type> control_;
  asio::signal_set signals_;
  asio::steady_timer stopDeadline_;  // on control_
  std::optional<asio::executor_work_guard<asio::io_context::executor_type>> keepRunning_;
  std::unique_ptr<MetricsListener> metrics_;
  ProcessorSlots slots_;
  ServerStatistics statistics_;
  Supervision supervision_;
  os::CommandTrees trees_;  // the processor trees this server's requests run
  std::atomic<bool> stopping_{false};
  bool signalsArmed_ = false;        // on the EventLoop thread
  std::uint64_t stopHandlerId_ = 0;  // the service manager's stop requests, while armed
  bool stopFinished_ = false;        // on control_
  bool closed_ = false;
  // Declared last so that it goes first, while the io_context it uses still exists.
  std::unique_ptr<ServerTransport> transport_;
};

}  // namespace kqm
