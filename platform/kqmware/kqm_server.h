// KQM_TServer, a request server of the middleware: bound under a service name, it receives
// request dictionaries and answers each with the value its processor leaves. They arrive by
// the transport its options choose (server_transport_factory.h): over direct TCP, or shared
// with every server bound under the same name through a message bus; the engine is the same.
//
// Threads: EventLoop runs the network side and the processor on KQM_WORKERS + 1 threads (the
// calling thread is one of them). At most KQM_WORKERS requests run the processor at once,
// each on the thread that read it; one thread is always left for accepting, reading, writing
// and the status probe, so these never wait for a processor. Requests beyond the slots wait
// in one first-in first-out queue of at most KQM_QUEUE (default 64); a request that finds it
// full is answered at once with KQM_EBusy. Each connection's requests are answered in order.
// Shutdown, SetDebugLevel, GetDebugLevel, DBG_Type and Status are safe from any thread; Bind
// and SetProcessor belong before EventLoop, Close after it, all on one thread.
//
// An exception a processor throws goes back to the requester (a KQ_EException as its own
// class, any other as a KQ_EException with its message); the server goes on serving. The
// server owns its connections, its worker threads and its metrics listener
// (KQM_METRICS_LISTEN). It is the DebugChannel of the components it runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/kqmware/debug_channel.h"
#include "platform/kqmware/kqm_socket.h"
#include "platform/kqmware/options.h"
#include "platform/kqtypes/kq_any.h"
#include "platform/kqtypes/kq_dict.h"
#include "platform/kqtypes/kq_object.h"

namespace kqm {
class ServerEngine;
}  // namespace kqm

class KQM_TServer : public KQ_TObject, public DebugChannel {
 public:
  // Handles one request: fills `answer` (which starts null) from `request`. `user` is the
  // pointer given to SetProcessor. Runs on one of the EventLoop threads.
  using Processor = void (*)(KQM_TServer& server, const KQ_TDict& request, KQ_TAny& answer,
                             void* user);

  static constexpr const char* KQ_ClassName = "KQM_TServer";
  static KQ_TClass* KQ_ClassObject();

  // The initial debug level is the program's (kqm::ProgramOptionsInUse, KQM_DEBUG_LEVEL).
  KQM_TServer();
  explicit KQM_TServer(int debugLevel);
  ~KQM_TServer() override;
  KQM_TServer(const KQM_TServer&) = delete;
  KQM_TServer& operator=(const KQM_TServer&) = delete;

  // Starts serving the service `serviceName` as `options` say. Over direct TCP it listens
  // on `port`, or when that is 0 on the port the service directory (options.services) gives
  // the name; on all interfaces when `allInterfaces` is true, else on options.listenAddress
  // (KQM_LISTEN); `backlog` is the listen queue's length, 0 for the system's default. The
  // listener, and the metrics listener, take connections only from the peers options.allow
  // (KQM_ALLOW) names; unset, only loopback peers when listening on loopback, and every peer
  // (with a level-0 warning) when listening beyond it. Another transport may not use the
  // port, backlog and interfaces; it says what it needs in its own folder. Throws
  // KQ_EException when the service has no port, the server is bound already, the address
  // cannot be bound (naming the address and port), or the transport refuses the server
  // (naming the cause and the setting to look at).
  void Bind(const KQ_TString& serviceName, std::uint16_t port, std::uint16_t backlog,
            bool allInterfaces, const kqm::ServerOptions& options);
  // Bind with the program's server options (kqm::ProgramOptionsInUse).
  void Bind(const KQ_TString& serviceName, std::uint16_t port, std::uint16_t backlog,
            bool allInterfaces);

  // Installs the request processor; requests go to it from the next EventLoop on.
  void SetProcessor(Processor processor, void* user);

  // Serves requests until the server is stopped (Shutdown, SIGINT or SIGTERM, or Ctrl+C /
  // Ctrl+Break or the service control manager's stop on Windows, each asking AllowExit
  // first). While it serves, the service manager that started the program hears its status
  // line and watchdog keep-alive, and a stop's remaining time (os/service_manager.h); the
  // metrics listener's /health says 503 when the loop's control strand stops turning. A stop
  // closes the listener, answers
  // the requests still waiting for a slot with KQM_EBusy, and lets the running ones finish
  // for at most KQM_STOP_TIMEOUT_MS (default 30000); then, or at a second stop signal, it
  // ends the processor trees its requests still run (os::CommandTrees), whose requests are then
  // answered as their processors fail. EventLoop returns once every connection is answered
  // and closed. With `milliseconds` >= 0 it also returns when that time has passed; the
  // server then keeps its connections and a later EventLoop goes on. Throws KQ_EException
  // when the server is not bound.
  void EventLoop(int milliseconds);

  // Closes the listener and every connection and stops the worker threads. Call it after
  // EventLoop has returned; calling it again does nothing. The destructor calls it.
  void Close();

  // The port the server listens on; 0 before Bind and for a transport without one.
  std::uint16_t BoundPort() const;
  // The port of the metrics listener; 0 without one.
  std::uint16_t MetricsPort() const;
  // What the status probe answers: service, pid, uptimeSeconds, workers, running, queued,
  // queueLimit, answered, exceptions, refused, stopping. Throws KQ_EException before Bind.
  KQ_TDict Status() const;
  // The service name given to Bind; before Bind, the program's name.
  const std::string& ServiceName() const { return serviceName_; }

  // KQ_IInterface
  KQM_TServer* KQ_CompleteObject() const override { return const_cast<KQM_TServer*>(this); }
  void* KQ_DynamicInfo(const char* className) const override;

  // The server's own table, in slot order.

  // Asks the server to stop: it accepts no more connections or requests, finishes the
  // requests in flight, and then EventLoop returns. Safe from any thread, also before
  // EventLoop runs.
  virtual void Shutdown();
  virtual void SetDebugLevel(int level);
  // Writes one line to the debug channel when `level` <= the debug level.
  void DBG_Type(int level, const std::string& text) const override;
  virtual void DBG_Type(int level, const KQ_TString& text) const;
  virtual void DBG_Type(int level, const char* text) const;

 protected:
  // Runs the ready network work, waiting up to `milliseconds` (-1: without end) for some.
  // Returns whether any ran. Only on the thread that would run EventLoop.
  virtual bool HandleEvent(int milliseconds);
  // Handles one request on an EventLoop thread; by default calls the installed processor, and
  // throws KQ_EException when there is none.
  virtual void Process(const KQ_TDict& request, KQ_TAny& answer);
  // A client connected or went away. Called on any of the EventLoop threads, possibly at the
  // same time as each other; overrides must be thread-safe. By default a level-4 line.
  virtual void ConnectionAdded(const KQM_TSocket& socket);
  virtual void ConnectionDropped(const KQM_TSocket& socket);
  // Whether a stop signal may stop the server; true by default.
  virtual bool AllowExit();

 public:
  // DebugChannel. Declared after the server's own operations so that their order in the
  // table stays as it was.
  // The debug level: lines of a level above it are not written.
  int GetDebugLevel() const override;

 private:
  class Owner;
  friend class Owner;

  std::string serviceName_;
  std::atomic<int> debugLevel_;
  Processor processor_ = nullptr;
  void* user_ = nullptr;
  std::unique_ptr<Owner> owner_;                      // created by Bind, with the engine
  std::unique_ptr<kqm::ServerEngine> engine_;         // created by Bind
  std::atomic<kqm::ServerEngine*> running_{nullptr};  // engine_, for Shutdown from other threads
  std::atomic<bool> stopRequested_{false};            // Shutdown before Bind
};
