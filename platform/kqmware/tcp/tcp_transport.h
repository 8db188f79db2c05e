// TcpTransport, the direct TCP transport of a server: a listener and its client connections.
// Each connection reads a whole frame, has the engine answer it, writes the reply and only
// then reads on, so that a connection's requests are answered in order. A status request is
// answered by the network side itself.
//
// A connection from a peer the allow list does not name is closed as it is accepted, before a
// byte is read, and logged at level 2 (at most one line a second, see RefusalLog). So is one
// that would pass the connection limit, but it is first sent a KQM_EBusy notice ("too many
// connections: N open") with request id 0, which the client raises as the answer to its
// request. A connection with no request in flight and no byte received for the idle timeout
// is sent a KQM_EBusy notice the same way and closed (level 4); a request that arrives on
// it after that is never run. Accepting that fails (descriptors or memory exhausted) is
// tried again after a pause that doubles up to a second while it lasts, logged at level 0
// at most once a second.
//
// Threads: the listener runs on the engine's control strand, each connection on a strand of
// its own. The transport owns its listener and its connections.
#pragma once

#include <atomic>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "platform/kqmware/allow_list.h"
#include "platform/kqmware/kqm_socket.h"
#include "platform/kqmware/options.h"
#include "platform/kqmware/refusal_log.h"
#include "platform/kqmware/server_transport.h"
#include "platform/kqmware/tcp/connection_limit.h"

namespace kqm {

// What a listener allows its connections.
struct ConnectionRules {
  ConnectionLimit limit;  // beyond limit.maximum open, a new connection is refused
  int idleTimeoutMs = 0;  // an idle connection is closed after this long; 0: never
};

// Where and how a listener listens.
struct ListenerSettings {
  boost::asio::ip::tcp::endpoint endpoint;
  std::string host;                         // the address as the settings give it, for log lines
  int backlog = 0;                          // the listen queue's length; 0: the system's default
  AllowList allow = AllowList::Everyone();  // the peers served
  ConnectionRules rules;
};

class TcpTransport : public ServerTransport {
 public:
  // Listens as `listener` says and starts accepting. Throws KQ_EException naming the address
  // and port when it cannot.
  TcpTransport(TransportHost& host, ListenerSettings listener, ConnectionHooks hooks);
  ~TcpTransport() override;

  std::uint16_t Port() const override { return port_; }
  // The descriptor and connection limits (level 4, and level 2 when the descriptors lower
  // the connection limit) and, when every peer is let in, a level-0 warning naming KQM_ALLOW.
  void ReportSettings() const override;
  void StopTaking() override;
  bool Idle() const override;
  void Close() override;

 private:
  class Connection;

  void Accept();
  // Whether the accepted `socket` may be served; closes it and logs the refusal when not.
  bool Admit(boost::asio::ip::tcp::socket& socket, boost::asio::ip::tcp::endpoint& peer);
  // Whether there is room for one more connection; when not, answers `socket` with KQM_EBusy,
  // closes it and logs the refusal.
  bool Room(boost::asio::ip::tcp::socket& socket, const boost::asio::ip::tcp::endpoint& peer);
  // Accepts again after a pause, after `error`.
  void AcceptLater(const boost::system::error_code& error);
  // Closes the listener and returns the connections open at that moment.
  std::set<std::shared_ptr<Connection>> StopAccepting();
  void Remove(const std::shared_ptr<Connection>& connection);

  TransportHost& host_;
  const std::string listenHost_;
  const AllowList allow_;
  const ConnectionRules rules_;
  const ConnectionHooks hooks_;
  RefusalLog refusals_;
  RefusalLog busyRefusals_;
  RefusalLog acceptFailures_{"failed"};
  boost::asio::ip::tcp::acceptor acceptor_;
  boost::asio::steady_timer acceptRetry_;
  mutable std::mutex mutex_;
  std::set<std::shared_ptr<Connection>> connections_;  // guarded by mutex_
  std::atomic<bool> stopping_{false};
  std::uint16_t port_ = 0;
  std::uint64_t nextConnectionId_ = 1;        // on the control strand
  std::chrono::milliseconds acceptDelay_{0};  // on the control strand; 0 after a success
};

// The direct TCP transport of the service `service` as `options` say: listening on `port`,
// or when that is 0 on the port the service directory gives the name, on all interfaces when
// `allInterfaces` is true, else on options.listenAddress, with a listen queue of `backlog`
// (0: the system's default), telling `hooks` of each connection. The connections are kept
// within what the process's descriptor limit `descriptorLimit` (0: none) leaves beside what
// options.workers processor runs need. Throws KQ_EException naming KQM_LISTEN when the
// address is not an IP address, and when the service has no port.
TransportMaker TcpTransportMaker(const ServerOptions& options, const std::string& service,
                                 std::uint16_t port, std::uint16_t backlog, bool allInterfaces,
                                 const ConnectionHooks& hooks, std::uint64_t descriptorLimit);

}  // namespace kqm
