// The middleware over NATS: a server's requests arrive on the subject "kqm.SERVICE" in the
// queue group "SERVICE", so that every server bound under that name shares the work, and
// each server answers status requests on "kqm.SERVICE.status". A NATS message's payload is
// exactly a frame's payload (kind, id, packed value); the answer goes to the reply subject.
//
// Built on libnats where it exists; elsewhere (the Windows build) the factories throw and
// the middleware keeps direct TCP. The subject helpers are pure and everywhere.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/kqmware/server_transport.h"
#include "platform/kqmware/settings.h"

namespace kqm {

// Throws KQ_EException saying why when `service` cannot be one token of a NATS subject
// (empty, or holding '.', '*', '>', a blank or a control character).
void CheckSubjectToken(const std::string& service);
// "kqm.SERVICE": where requests for the service go.
std::string RequestSubject(const std::string& service);
// "kqm.SERVICE.status": where every instance of the service answers status requests.
std::string StatusSubject(const std::string& service);

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

// Thrown by NatsChannel::Request when no subscriber exists for the subject.
class NatsNoResponders : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A client's connection to NATS. One request at a time (the caller serialises).
class NatsChannel {
 public:
  virtual ~NatsChannel() = default;
  // Sends `payload` on `subject` and returns the first reply's payload, waiting at most
  // `timeoutMs`. Throws NatsNoResponders when nobody subscribes to the subject, else
  // KQ_EException with the cause: timeout, not connected, the connection lost while waiting,
  // a permissions violation (the NATS user may not publish to `subject`: reported at once,
  // not as a timeout), or a payload over the NATS server's maximum (naming both sizes).
  virtual std::string Request(const std::string& subject, const std::string& payload,
                              int timeoutMs) = 0;
  // Publishes `payload` on `subject` with a reply inbox and returns every reply that
  // arrives within `windowMs`. Throws as Request does, except that no reply is no error.
  virtual std::vector<std::string> Gather(const std::string& subject, const std::string& payload,
                                          int windowMs) = 0;
  // The NATS server's maximum payload.
  virtual std::size_t MaxPayload() const = 0;
};

// Connects to `urls` within `connectTimeoutMs`, authenticating and checking NATS as
// `security` says, and subscribes to its reply inbox. Throws KQ_EException naming the URLs
// and the cause when it cannot (unreachable, credentials refused, TLS failed, a permissions
// violation on the inbox), or when the build has no NATS client.
std::unique_ptr<NatsChannel> MakeNatsChannel(const std::string& urls, int connectTimeoutMs,
                                             const NatsSecurity& security);

}  // namespace kqm
