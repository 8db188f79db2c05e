// The server side of the middleware over NATS: a queue-group subscription to the service's
// request subject (see nats_subject.h) that hands each request to the engine and publishes
// the reply frame's payload to the request's reply subject, a subscription to the status
// subject, and the NATS services API's subjects (nats_services.h). A full instance leaves
// the queue group until a slot frees.
//
// Built on libnats where it exists (nats_server_transport.cpp); elsewhere
// (nats_unavailable.cpp) MakeNatsServerTransport throws and the middleware keeps direct TCP.
#pragma once

#include <memory>
#include <string>

#include "platform/kqmware/nats/nats_services.h"
#include "platform/kqmware/nats/nats_subject.h"
#include "platform/kqmware/options.h"
#include "platform/kqmware/server_transport.h"

namespace kqm {

// The NATS transport of a server bound under host.ServiceName(), connected to `urls` (one
// or several NATS URLs separated by commas) within `connectTimeoutMs`, authenticating and
// checking NATS as `security` says. It reconnects and subscribes again on its own when the
// connection breaks, and logs the errors NATS reports at level 0. Throws KQ_EException with
// the cause when NATS cannot be reached, refuses the credentials or the TLS handshake, does
// not let the server subscribe to its subjects (a permissions violation), or the build has no
// NATS client.
std::unique_ptr<ServerTransport> MakeNatsServerTransport(TransportHost& host,
                                                         const std::string& urls,
                                                         int connectTimeoutMs,
                                                         const NatsSecurity& security);

// What ChooseServerTransport makes of options.natsUrl for the service `service`. Throws
// KQ_EException saying why when the name cannot be one subject token or a services API name.
inline TransportMaker NatsServerTransportMaker(const ServerOptions& options,
                                               const std::string& service) {
  CheckSubjectToken(service);
  CheckServiceName(service);
  return [url = options.natsUrl.value_or(""), connectTimeoutMs = options.connectTimeoutMs,
          security = options.natsSecurity](TransportHost& host) {
    return MakeNatsServerTransport(host, url, connectTimeoutMs, security);
  };
}

}  // namespace kqm
