// How a client's requests travel to a service. KQM_TClient holds one transport, made by
// MakeClientTransport from the client's options; each transport lives in a folder of its own
// below platform/kqmware, and a new one is a new implementation of ClientTransport and a line
// in that factory.
//
// Threads: one call at a time (KQM_TClient serialises them). A transport owns its connection.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/kqmware/options.h"
#include "platform/kqmware/wire.h"
#include "platform/kqtypes/kq_any.h"
#include "platform/kqtypes/kq_dict.h"

namespace kqm {

// Whom a status probe hears from: the one server a request reaches, or every instance bound
// under the service's name.
enum class StatusScope { kOneServer, kEveryInstance };

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
  // The status of every server StatusReach names that answers: within `windowMs` for every
  // instance; the one server's within the request timeout, and a failure to get it thrown.
  // Throws as Exchange does.
  virtual std::vector<KQ_TDict> StatusOfEvery(int windowMs) = 0;
  virtual StatusScope StatusReach() const = 0;
  // Closes the connection, if it has one of its own; the next exchange connects again.
  virtual void Disconnect() = 0;
  // The TCP port it sends to; nullopt for a transport without one.
  virtual std::optional<std::uint16_t> Port() const = 0;
};

// The transport `options` ask for to the service `service`: NATS when options.natsUrl is set
// (`host` and `port` are then not used), else direct TCP to `host` on `port`, or when that is
// 0 on the port the service directory gives `service`. Throws KQ_EException when the name
// cannot be a NATS subject token, or the service has no port.
std::unique_ptr<ClientTransport> MakeClientTransport(const ClientOptions& options,
                                                     const std::string& host,
                                                     const std::string& service,
                                                     std::uint16_t port);

}  // namespace kqm
