#include "platform/kqmware/client_transport.h"

#include "platform/kqmware/nats/nats_client_transport.h"
#include "platform/kqmware/tcp/tcp_client_transport.h"

namespace kqm {

std::unique_ptr<ClientTransport> MakeClientTransport(const ClientOptions& options,
                                                     const std::string& host,
                                                     const std::string& service,
                                                     std::uint16_t port) {
  if (options.natsUrl)
    return MakeNatsClientTransport(service, options);
  return MakeTcpClientTransport(host, service, port, options);
}

}  // namespace kqm
