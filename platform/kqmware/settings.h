// The middleware's settings, read from environment variables by the options' FromEnvironment
// (options.h, program_options.h) when a program starts; nothing else calls the readers. Each
// reader throws KQ_EException naming the variable, its value and what is expected when the
// value is not usable; an unset variable gives the default.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/kqmware/allow_list.h"

namespace kqm {

// Limits and defaults.
inline constexpr std::int64_t kDefaultMaxFrameBytes = 64 * 1024 * 1024;
inline constexpr int kDefaultWorkers = 4;
inline constexpr int kDefaultConnectTimeoutMs = 5000;
inline constexpr int kDefaultQueue = 64;
inline constexpr int kDefaultStopTimeoutMs = 30000;
inline constexpr int kDefaultMaxConnections = 1024;
inline constexpr int kDefaultIdleTimeoutMs = 300000;

// A whole number from `min` to `max` held by `value` (the variable `name`'s text), or
// `fallback` when `value` is nullopt. Pure; throws KQ_EException when the text is not such a
// number.
std::int64_t ParseNumberSetting(const char* name, const std::optional<std::string>& value,
                                std::int64_t fallback, std::int64_t min, std::int64_t max);

// KQM_MAX_FRAME_BYTES: the largest frame a connection accepts (default 64 MiB).
std::size_t MaxFrameBytes();
// KQM_WORKERS: how many requests a server runs at once (default 4, at most 256).
int Workers();
// KQM_QUEUE: how many requests may wait for a processor slot (default 64; 0: none wait).
std::size_t QueueLimit();
// KQM_STOP_TIMEOUT_MS: how long a stopping server lets running requests finish before it
// ends their processors (default 30000).
int StopTimeoutMs();
// KQM_MAX_CONNECTIONS: how many client connections a server keeps open at once (default
// 1024, 1 to 1000000); see connection_limit.h for how the descriptor limit lowers it.
std::size_t MaxConnections();
// KQM_IDLE_TIMEOUT_MS: after how long without a request in flight and without a byte
// received a server closes a connection (default 300000; 0: never).
int IdleTimeoutMs();

// Where the metrics listener listens: host and port.
struct ListenPoint {
  std::string host;
  std::uint16_t port = 0;
};
// "HOST:PORT" or "[IPv6]:PORT" as a ListenPoint. Pure; throws KQ_EException naming `name`
// and the text when it is not of that form or the port is not from 0 to 65535.
ListenPoint ParseListenPoint(const char* name, const std::string& text);
// KQM_METRICS_LISTEN: where the HTTP metrics listener listens; nullopt (unset or empty):
// no listener.
std::optional<ListenPoint> MetricsListen();

// KQM_LISTEN: the address servers listen on (default 127.0.0.1).
std::string ListenAddress();
// KQM_DEBUG_LEVEL: a new server's debug level (default 0).
int InitialDebugLevel();
// KQM_DEBUG_LOG: the file debug lines are appended to; "" (unset or empty): the system log.
std::string DebugLogFile();
// KQM_SERVICES: the services file giving each service its port; "" (unset or empty): the
// system services database only.
std::string ServicesFile();
// KQM_CONNECT_TIMEOUT_MS: how long a client waits for a connection (default 5000).
int ConnectTimeoutMs();
// KQM_REQUEST_TIMEOUT_MS: how long a client waits for an answer; 0 waits without end.
int RequestTimeoutMs();
// KQM_NATS_URL: the NATS server(s) servers and clients meet at ("nats://HOST:PORT", or
// several separated by commas); nullopt (unset or empty): direct TCP.
std::optional<std::string> NatsUrl();

// KQM_ALLOW: the addresses and networks whose connections the listeners of a server take
// (see AllowList::Parse); nullopt when unset. Throws KQ_EException naming KQM_ALLOW and the
// entry when an entry is malformed, and when it is set but names nothing.
std::optional<AllowList> AllowSetting();
// The peers a listener on `listenHost` serves: `allowSetting` when set; else loopback peers
// only when `listenHost` is a loopback address, and everyone when it is not (the caller
// warns). Pure.
AllowList AllowedPeers(const std::optional<AllowList>& allowSetting, const std::string& listenHost);

// How servers and clients prove who they are to NATS and check who NATS is. Empty fields are
// not set. At most one way of authenticating is set: a credentials file, an NKey seed file, a
// token, or a user with a password.
struct NatsSecurity {
  std::string credentialsFile;  // KQM_NATS_CREDS: a user JWT with its NKey seed
  std::string nkeySeedFile;     // KQM_NATS_NKEY_SEED: a user NKey seed ("SU...")
  std::string token;            // KQM_NATS_TOKEN
  std::string user;             // KQM_NATS_USER, with
  std::string password;         // KQM_NATS_PASSWORD
  std::string caFile;           // KQM_NATS_TLS_CA: the CA certificates NATS is checked against
  std::string certificateFile;  // KQM_NATS_TLS_CERT: this side's certificate chain, with
  std::string keyFile;          // KQM_NATS_TLS_KEY: its private key

  // Whether TLS is asked for (a CA or a certificate is set).
  bool WantsTls() const { return !caFile.empty() || !certificateFile.empty(); }
  // The settings this side authenticates with ("KQM_NATS_USER and KQM_NATS_PASSWORD"), or
  // "" when none is set.
  std::string AuthenticationSettings() const;
};
// The NATS security settings, each looked up with `lookup` (nullopt or "": unset). Pure;
// throws KQ_EException naming the settings when they do not fit together: two ways of
// authenticating, a user without a password or a password without a user, a certificate
// without its key or a key without its certificate.
NatsSecurity ParseNatsSecurity(
    const std::function<std::optional<std::string>(const char* name)>& lookup);
// The NATS security settings from the environment (see above).
NatsSecurity NatsSecuritySettings();

}  // namespace kqm
