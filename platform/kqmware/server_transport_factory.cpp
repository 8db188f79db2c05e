#include "platform/kqmware/server_transport_factory.h"

#include "platform/kqmware/nats/nats_server_transport.h"
#include "platform/kqmware/tcp/tcp_transport.h"
#include "platform/os/os.h"

namespace kqm {

TransportMaker ChooseServerTransport(const ServerOptions& options, const std::string& service,
                                     std::uint16_t port, std::uint16_t backlog, bool allInterfaces,
                                     const ConnectionHooks& hooks) {
  std::uint64_t descriptorLimit = os::RaiseDescriptorLimit();
  if (options.natsUrl)
    return NatsServerTransportMaker(options, service);
  return TcpTransportMaker(options, service, port, backlog, allInterfaces, hooks, descriptorLimit);
}

}  // namespace kqm
