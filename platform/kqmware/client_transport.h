// How a client's requests travel to a service: over direct TCP to the service's port, or
// over NATS on the service's subject. KQM_TClient holds one transport, made by
// MakeClientTransport from the client's options; a new transport is a new implementation of
// ClientTransport and a line in that factory.
//
// Threads: one call at a time (KQM_TClient serialises them). A transport owns its connection.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/kqmware/options.h"
#include "platform/kqmware/wire.h"
#include "platform/kqtypes/kq_any.h"
#include "platform/kqtypes/kq_dict.h"

namespace kqm {

class ClientTransport {
 public:
  virtual ~ClientTransport() = default;

  // Connects unless connected. Throws KQ_EException naming the service and the cause.
  virtual void Connect() = 0;
  // Sends one message of `kind` (a request, or a status request with a null value) and
  // returns the answer. An exception the service raised is raised here as the most derived
  // class this process has registered; KQM_EBusy when the service would not take the request.
  // Every other failure throws KQ_EException naming the service and the cause.
  virtual KQ_TAny Exchange(MessageKind kind, const KQ_TAny& value) = 0;
  // The status of every instance that answers within `windowMs` (over TCP the one service).
  // Throws as Exchange does.
  virtual std::vector<KQ_TDict> StatusOfEvery(int windowMs) = 0;
  // Closes the connection, if it has one of its own; the next exchange connects again.
  virtual void Disconnect() = 0;
  // The TCP port it sends to; 0 for a transport without one.
  virtual std::uint16_t Port() const = 0;
  virtual bool UsesNats() const = 0;
};

// The transport `options` ask for to the service `service`: NATS when options.natsUrl is set
// (`host` and `port` are then not used), else direct TCP to `host` on `port`, or when that is
// 0 on the port the service directory gives `service`. Throws KQ_EException when the name
// cannot be a NATS subject token, or the service has no port.
std::unique_ptr<ClientTransport> MakeClientTransport(const ClientOptions& options,
                                                     const std::string& host,
                                                     const std::string& service,
                                                     std::uint16_t port);

// The two transports the factory makes.
std::unique_ptr<ClientTransport> MakeTcpClientTransport(const std::string& host,
                                                        const std::string& service,
                                                        std::uint16_t port,
                                                        const ClientOptions& options);
std::unique_ptr<ClientTransport> MakeNatsClientTransport(const std::string& service,
                                                         const ClientOptions& options);

}  // namespace kqm
