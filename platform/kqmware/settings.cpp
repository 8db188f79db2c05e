#include "platform/kqmware/settings.h"

#include <boost/asio/ip/address.hpp>
#include <charconv>
#include <vector>

#include "platform/kqtypes/kq_exception.h"
#include "platform/os/os.h"

namespace kqm {

std::int64_t ParseNumberSetting(const char* name, const std::optional<std::string>& value,
                                std::int64_t fallback, std::int64_t min, std::int64_t max) {
  if (!value)
    return fallback;
  std::int64_t number = 0;
  const char* first = value->data();
  const char* last = first + value->size();
  auto [end, error] = std::from_chars(first, last, number);
  if (value->empty() || error != std::errc() || end != last || number < min || number > max) {
    throw KQ_EException(KQ_TString(name) + " is \"" + *value + "\": expected a whole number from " +
                        std::to_string(min) + " to " + std::to_string(max));
  }
  return number;
}

std::size_t MaxFrameBytes() {
  return static_cast<std::size_t>(ParseNumberSetting("KQM_MAX_FRAME_BYTES",
                                                     os::GetEnv("KQM_MAX_FRAME_BYTES"),
                                                     kDefaultMaxFrameBytes, 64, 0x7FFFFFFF));
}

int Workers() {
  return static_cast<int>(
      ParseNumberSetting("KQM_WORKERS", os::GetEnv("KQM_WORKERS"), kDefaultWorkers, 1, 256));
}

std::size_t QueueLimit() {
  return static_cast<std::size_t>(
      ParseNumberSetting("KQM_QUEUE", os::GetEnv("KQM_QUEUE"), kDefaultQueue, 0, 1000000));
}

int StopTimeoutMs() {
  return static_cast<int>(ParseNumberSetting("KQM_STOP_TIMEOUT_MS",
                                             os::GetEnv("KQM_STOP_TIMEOUT_MS"),
                                             kDefaultStopTimeoutMs, 0, 86400000));
}

std::size_t MaxConnections() {
  return static_cast<std::size_t>(ParseNumberSetting("KQM_MAX_CONNECTIONS",
                                                     os::GetEnv("KQM_MAX_CONNECTIONS"),
                                                     kDefaultMaxConnections, 1, 1000000));
}

int IdleTimeoutMs() {
  return static_cast<int>(ParseNumberSetting("KQM_IDLE_TIMEOUT_MS",
                                             os::GetEnv("KQM_IDLE_TIMEOUT_MS"),
                                             kDefaultIdleTimeoutMs, 0, 86400000));
}

ListenPoint ParseListenPoint(const char* name, const std::string& text) {
  auto refuse = [&] {
    return KQ_EException(KQ_TString(name) + " is \"" + text +
                         "\": expected HOST:PORT, such as 127.0.0.1:9464 or [::1]:9464");
  };
  std::size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0)
    throw refuse();
  std::string host = text.substr(0, colon);
  if (host.front() == '[') {
    if (host.size() < 3 || host.back() != ']')
      throw refuse();
    host = host.substr(1, host.size() - 2);
  } else if (host.find(':') != std::string::npos) {
    throw refuse();  // an IPv6 address needs its brackets
  }
  std::int64_t port = 0;
  try {
    port = ParseNumberSetting(name, text.substr(colon + 1), 0, 0, 65535);
  } catch (const KQ_EException&) {
    throw refuse();
  }
  return {host, static_cast<std::uint16_t>(port)};
}

std::optional<ListenPoint> MetricsListen() {
  std::optional<std::string> text = os::GetEnv("KQM_METRICS_LISTEN");
  if (!text || text->empty())
    return std::nullopt;
  return ParseListenPoint("KQM_METRICS_LISTEN", *text);
}

std::string ListenAddress() {
  std::optional<std::string> address = os::GetEnv("KQM_LISTEN");
  return address && !address->empty() ? *address : "127.0.0.1";
}

int InitialDebugLevel() {
  return static_cast<int>(
      ParseNumberSetting("KQM_DEBUG_LEVEL", os::GetEnv("KQM_DEBUG_LEVEL"), 0, -1, 1000000));
}

std::string DebugLogFile() {
  return os::GetEnv("KQM_DEBUG_LOG").value_or("");
}

std::string ServicesFile() {
  return os::GetEnv("KQM_SERVICES").value_or("");
}

int ConnectTimeoutMs() {
  return static_cast<int>(ParseNumberSetting("KQM_CONNECT_TIMEOUT_MS",
                                             os::GetEnv("KQM_CONNECT_TIMEOUT_MS"),
                                             kDefaultConnectTimeoutMs, 1, 3600000));
}

int RequestTimeoutMs() {
  return static_cast<int>(ParseNumberSetting("KQM_REQUEST_TIMEOUT_MS",
                                             os::GetEnv("KQM_REQUEST_TIMEOUT_MS"), 0, 0, 86400000));
}

std::optional<std::string> NatsUrl() {
  std::optional<std::string> url = os::GetEnv("KQM_NATS_URL");
  if (!url || url->empty())
    return std::nullopt;
  return url;
}

std::optional<AllowList> AllowSetting() {
  std::optional<std::string> text = os::GetEnv("KQM_ALLOW");
  if (!text)
    return std::nullopt;
  return AllowList::Parse("KQM_ALLOW", *text);
}

AllowList AllowedPeers(const std::optional<AllowList>& allowSetting,
                       const std::string& listenHost) {
  if (allowSetting)
    return *allowSetting;
  boost::system::error_code error;
  boost::asio::ip::address address = boost::asio::ip::make_address(listenHost, error);
  if (!error && address.is_v6() && address.to_v6().is_v4_mapped())
    address = boost::asio::ip::make_address_v4(boost::asio::ip::v4_mapped, address.to_v6());
  // A host that is no address cannot be listened on; whatever is returned is not used.
  if (!error && address.is_loopback())
    return AllowList::LoopbackOnly();
  return AllowList::Everyone();
}

std::string NatsSecurity::AuthenticationSettings() const {
  if (!credentialsFile.empty())
    return "KQM_NATS_CREDS";
  if (!nkeySeedFile.empty())
    return "KQM_NATS_NKEY_SEED";
  if (!token.empty())
    return "KQM_NATS_TOKEN";
  if (!user.empty())
    return "KQM_NATS_USER and KQM_NATS_PASSWORD";
  return "";
}

NatsSecurity ParseNatsSecurity(
    const std::function<std::optional<std::string>(const char* name)>& lookup) {
  auto read = [&](const char* name) {
    std::optional<std::string> value = lookup(name);
    return value ? *value : std::string();
  };
  NatsSecurity security;
  security.credentialsFile = read("KQM_NATS_CREDS");
  security.nkeySeedFile = read("KQM_NATS_NKEY_SEED");
  security.token = read("KQM_NATS_TOKEN");
  security.user = read("KQM_NATS_USER");
  security.password = read("KQM_NATS_PASSWORD");
  security.caFile = read("KQM_NATS_TLS_CA");
  security.certificateFile = read("KQM_NATS_TLS_CERT");
  security.keyFile = read("KQM_NATS_TLS_KEY");

  if (!security.user.empty() && security.password.empty())
    throw KQ_EException("KQM_NATS_USER is set without KQM_NATS_PASSWORD: set both, or neither");
  if (security.user.empty() && !security.password.empty())
    throw KQ_EException("KQM_NATS_PASSWORD is set without KQM_NATS_USER: set both, or neither");
  if (!security.certificateFile.empty() && security.keyFile.empty())
    throw KQ_EException("KQM_NATS_TLS_CERT is set without KQM_NATS_TLS_KEY: set both, or neither");
  if (security.certificateFile.empty() && !security.keyFile.empty())
    throw KQ_EException("KQM_NATS_TLS_KEY is set without KQM_NATS_TLS_CERT: set both, or neither");
  std::vector<std::string> ways;
  if (!security.credentialsFile.empty())
    ways.push_back("KQM_NATS_CREDS");
  if (!security.nkeySeedFile.empty())
    ways.push_back("KQM_NATS_NKEY_SEED");
  if (!security.token.empty())
    ways.push_back("KQM_NATS_TOKEN");
  if (!security.user.empty())
    ways.push_back("KQM_NATS_USER");
  if (ways.size() > 1) {
    std::string named;
    for (std::size_t i = 0; i < ways.size(); ++i)
      named += (i == 0 ? "" : i + 1 == ways.size() ? " and " : ", ") + ways[i];
    throw KQ_EException(named +
                        " are set: NATS takes one way of authenticating (a credentials file, an "
                        "NKey seed, a token, or a user with a password); unset the others");
  }
  return security;
}

NatsSecurity NatsSecuritySettings() {
  return ParseNatsSecurity([](const char* name) { return os::GetEnv(name); });
}

}  // namespace kqm
