// The one place that picks a server's transport from its options: NATS when a NATS URL is
// set, else direct TCP. A new transport is a new implementation of ServerTransport
// (server_transport.h) and a branch here.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/kqmware/options.h"
#include "platform/kqmware/server_transport.h"
#include "platform/kqmware/tcp_transport.h"

namespace kqm {

// Makes the transport once the engine is ready to host it; throws KQ_EException when it
// cannot (the address cannot be bound, NATS refuses the server, ...).
using TransportMaker = std::function<std::unique_ptr<ServerTransport>(TransportHost& host)>;

// The transport chosen, and what the server says about it once bound.
struct TransportChoice {
  TransportMaker make;
  bool overNats = false;
  // The address of a TCP listener that lets every peer in; "" when there is none.
  std::string openListener;
  // What a TCP listener allows its connections (also logged).
  ConnectionRules rules;
};

// The transport of the service `service` as `options` say: over NATS, subscribing to its
// subjects (the name must be one subject token and a services API name); else listening on
// `port`, or when that is 0 on the port the service directory gives the name, on all
// interfaces when `allInterfaces` is true, else on options.listenAddress, with a listen
// queue of `backlog` (0: the system's default), telling `hooks` of each connection. The
// descriptor limit is raised to the hard limit here, and the connections kept within it
// beside what `options.workers` processor runs need. Throws KQ_EException naming the
// setting when the name or an address is not usable, or the service has no port.
TransportChoice ChooseServerTransport(const ServerOptions& options, const std::string& service,
                                      std::uint16_t port, std::uint16_t backlog, bool allInterfaces,
                                      const ConnectionHooks& hooks);

}  // namespace kqm
