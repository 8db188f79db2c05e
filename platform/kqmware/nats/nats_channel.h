// NatsChannel, a client's connection to NATS: it publishes a request with a reply subject of
// its own and waits for the replies. A NATS message's payload is exactly a frame's payload
// (kind, id, packed value).
//
// Built on libnats where it exists (nats_channel.cpp); elsewhere (nats_unavailable.cpp)
// MakeNatsChannel throws. One request at a time: the caller serialises. The channel owns its
// connection.
#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/kqmware/settings.h"

namespace kqm {

// Thrown by NatsChannel::Request when no subscriber exists for the subject.
class NatsNoResponders : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

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
