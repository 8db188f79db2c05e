#include "platform/kqmware/server_transport_factory.h"

#include <utility>  // Boost 1.74 Asio uses std::exchange without including it

#include <boost/asio/ip/address.hpp>

#include "platform/kqmware/connection_limit.h"
#include "platform/kqmware/nats_services.h"
#include "platform/kqmware/nats_transport.h"
#include "platform/kqmware/service_directory.h"
#include "platform/kqtypes/kq_exception.h"
#include "platform/os/os.h"

namespace kqm {

TransportChoice ChooseServerTransport(const ServerOptions& options, const std::string& service,
                                      std::uint16_t port, std::uint16_t backlog, bool allInterfaces,
                                      const ConnectionHooks& hooks) {
  TransportChoice choice;
  // Each connection holds a descriptor: take what the hard limit allows, and keep the
  // connections within what it leaves beside the server's own needs.
  choice.rules.limit =
      EffectiveConnectionLimit(options.maxConnections, os::RaiseDescriptorLimit(), options.workers);
  choice.rules.idleTimeoutMs = options.idleTimeoutMs;
  if (options.natsUrl) {
    CheckSubjectToken(service);
    CheckServiceName(service);
    choice.overNats = true;
    choice.make = [url = *options.natsUrl, connectTimeoutMs = options.connectTimeoutMs,
                   security = options.natsSecurity](TransportHost& host) {
      return MakeNatsServerTransport(host, url, connectTimeoutMs, security);
    };
    return choice;
  }
  std::uint16_t usedPort = port != 0 ? port : ServicePort(service);
  std::string listen = allInterfaces ? "::" : options.listenAddress;
  boost::system::error_code error;
  boost::asio::ip::address address = boost::asio::ip::make_address(listen, error);
  if (error) {
    throw KQ_EException(KQ_TString("KQM_LISTEN is \"") + listen +
                        "\": expected an IP address such as 127.0.0.1, 0.0.0.0 or ::");
  }
  AllowList allow = AllowedPeers(options.allow, listen);
  if (allow.AllowsEveryone())
    choice.openListener = listen;
  choice.make = [endpoint = boost::asio::ip::tcp::endpoint(address, usedPort), backlog, allow,
                 rules = choice.rules, hooks](TransportHost& host) {
    return std::make_unique<TcpTransport>(host, endpoint, backlog, allow, rules, hooks);
  };
  return choice;
}

}  // namespace kqm
