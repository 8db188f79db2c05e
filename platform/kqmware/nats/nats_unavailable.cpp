// What a build without libnats (the Windows build: there is none for mingw) has in place of
// the NATS connections: the middleware keeps direct TCP, and asking for NATS is refused with
// the reason.
#include "platform/kqmware/nats/nats_channel.h"
#include "platform/kqmware/nats/nats_server_transport.h"
#include "platform/kqtypes/kq_exception.h"

namespace kqm {

namespace {

[[noreturn]] void NoNatsClient() {
  throw KQ_EException(
      "KQM_NATS_URL is set, but this build has no NATS client (the Windows build uses direct "
      "TCP only); unset KQM_NATS_URL");
}

}  // namespace

std::unique_ptr<ServerTransport> MakeNatsServerTransport(TransportHost&, const std::string&, int,
                                                         const NatsSecurity&) {
  NoNatsClient();
}

std::unique_ptr<NatsChannel> MakeNatsChannel(const std::string&, int, const NatsSecurity&) {
  NoNatsClient();
}

}  // namespace kqm
