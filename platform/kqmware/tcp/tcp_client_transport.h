// The client side of direct TCP: one connection to the service's port, made again after it
// is lost or closed by the service, one request at a time, each waited for within
// ClientOptions::requestTimeoutMs (0: without end). A host that is this machine's own name,
// "localhost" or empty is reached over loopback.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/kqmware/client_transport.h"
#include "platform/kqmware/options.h"

namespace kqm {

// The transport to `service` on `host`, on `port`, or when that is 0 on the port the service
// directory gives the name; it connects when first asked to. Throws KQ_EException when the
// service has no port.
std::unique_ptr<ClientTransport> MakeTcpClientTransport(const std::string& host,
                                                        const std::string& service,
                                                        std::uint16_t port,
                                                        const ClientOptions& options);

}  // namespace kqm
