// The client side of the middleware over NATS: requests go on the service's subject (see
// nats_subject.h) and whichever instance NATS picks answers; a status probe hears from every
// instance. An answer is waited for at most ClientOptions::requestTimeoutMs, or 300000 ms when
// that is 0, as a request on an instance that dies is never answered. Built everywhere; where
// libnats is missing its first exchange fails (nats_channel.h).
#pragma once

#include <memory>
#include <string>

#include "platform/kqmware/client_transport.h"
#include "platform/kqmware/options.h"

namespace kqm {

// The transport to `service` through the NATS servers in options.natsUrl, connecting on first
// use. Throws KQ_EException when the name cannot be one subject token.
std::unique_ptr<ClientTransport> MakeNatsClientTransport(const std::string& service,
                                                         const ClientOptions& options);

}  // namespace kqm
