// The seam between a server's engine and the way its requests travel. The engine
// (ServerEngine, server_engine.h) owns the processor slots and the queue, the statistics,
// the status probe, the busy answers and the stop; a transport only receives messages, hands
// each to the engine and sends back the reply it gets. Each transport lives in a folder of
// its own below platform/kqmware; ChooseServerTransport (server_transport_factory.h) is the
// one place that picks one.
//
// Threads: a transport calls its host from any thread; the host's operations are
// thread-safe. The engine owns its transport and calls StopTaking, Idle and Close on its
// EventLoop threads (Close once no EventLoop thread runs).
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/strand.hpp>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/kqmware/kqm_socket.h"
#include "platform/kqmware/server_statistics.h"
#include "platform/kqmware/wire.h"

namespace kqm {

// Told when a client connects and when its connection goes (KQM_TServer's hooks), by a
// transport that has connections of its own; called on any of the engine's threads,
// possibly at once. Either may be empty.
struct ConnectionHooks {
  std::function<void(const KQM_TSocket&)> added;
  std::function<void(const KQM_TSocket&)> dropped;
};

// What the engine offers its transport.
class TransportHost {
 public:
  // Called once with the whole reply frame (the 4 length bytes included).
  using Answer = std::function<void(std::string frame)>;
  // Runs `work` on one of the EventLoop threads.
  using Post = std::function<void(std::function<void()> work)>;

  virtual ~TransportHost() = default;

  // Answers the request `message` when it gets a processor slot, or with KQM_EBusy when it
  // gets none. The caller runs on a thread where `post` would run its work; `answer` is
  // called on such a thread: at once for a request that finds a free slot or is refused,
  // through `post` for one that waited in the queue. Never throws.
  virtual void HandleRequest(const std::shared_ptr<Message>& message, const Post& post,
                             Answer answer) = 0;
  // The status reply frame for request `id`; safe from any thread, never waits for a
  // processor.
  virtual std::string StatusFrame(std::uint64_t id) const = 0;
  // Writes a line to the server's debug channel.
  virtual void Log(int level, const std::string& text) const = 0;
  // The transport has answered everything it took and holds nothing open any more after
  // StopTaking: the engine may finish its stop.
  virtual void TransportIdle() = 0;
  // Whether every processor slot is taken and the queue is full. Thread-safe.
  virtual bool Saturated() const = 0;
  // What the server reports about itself now (its counts, its slots). Thread-safe.
  virtual ServerState State() const = 0;
  virtual const std::string& ServiceName() const = 0;
  virtual std::size_t MaxFrame() const = 0;
  virtual boost::asio::io_context& Io() = 0;
  // The strand the engine's stop runs on; a transport's listener may use it too.
  virtual boost::asio::strand<boost::asio::io_context::executor_type>& Control() = 0;
};

class ServerTransport {
 public:
  virtual ~ServerTransport() = default;

  // The TCP port listened on; 0 for a transport without one.
  virtual std::uint16_t Port() const { return 0; }
  // Writes what the transport allows (its limits, who may reach it) to the host's debug
  // channel. The server calls it once, when it is bound.
  virtual void ReportSettings() const {}
  // Takes no more requests; answers what it holds and then calls TransportIdle.
  virtual void StopTaking() = 0;
  // Whether nothing taken is still unanswered and nothing is open.
  virtual bool Idle() const = 0;
  // Closes everything at once. Only when no EventLoop thread runs.
  virtual void Close() = 0;
  // The processor slots or the queue have changed: a transport that shares work with other
  // servers asks host.Saturated() and stops taking requests while it holds.
  virtual void CapacityChanged() {}
};

// Makes the transport once the engine is ready to host it; throws KQ_EException when it
// cannot (the address cannot be bound, the transport refuses the server, ...).
using TransportMaker = std::function<std::unique_ptr<ServerTransport>(TransportHost& host)>;

}  // namespace kqm
