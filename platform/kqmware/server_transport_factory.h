// The one place that picks a server's transport from its options: NATS when a NATS URL is
// set, else direct TCP. A new transport is a folder of its own implementing ServerTransport
// (server_transport.h) and a line here.
#pragma once

#include <cstdint>
#include <string>

#include "platform/kqmware/options.h"
#include "platform/kqmware/server_transport.h"

namespace kqm {

// The transport of the service `service` as `options` say: over NATS, subscribing to its
// subjects (the name must be one subject token and a services API name); else listening on
// `port`, or when that is 0 on the port the service directory gives the name, on all
// interfaces when `allInterfaces` is true, else on options.listenAddress, with a listen
// queue of `backlog` (0: the system's default), telling `hooks` of each connection. The
// descriptor limit is raised to the hard limit here, whatever the transport, for the server
// and the processors it runs. Throws KQ_EException naming the setting when the name or an
// address is not usable, or the service has no port.
TransportMaker ChooseServerTransport(const ServerOptions& options, const std::string& service,
                                     std::uint16_t port, std::uint16_t backlog, bool allInterfaces,
                                     const ConnectionHooks& hooks);

}  // namespace kqm
