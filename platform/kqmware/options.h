// What a server and a client of the middleware are set up with. Programs read them from the
// environment once, when they start (FromEnvironment, with settings.h the one place that
// reads the KQM_ settings), and pass them in; tests build them directly.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "platform/kqmware/allow_list.h"
#include "platform/kqmware/service_directory.h"
#include "platform/kqmware/settings.h"

namespace kqm {

struct ServerOptions {
  std::size_t maxFrameBytes = static_cast<std::size_t>(kDefaultMaxFrameBytes);
  int workers = kDefaultWorkers;                        // KQM_WORKERS
  std::size_t queueLimit = kDefaultQueue;               // KQM_QUEUE
  int stopTimeoutMs = kDefaultStopTimeoutMs;            // KQM_STOP_TIMEOUT_MS
  std::size_t maxConnections = kDefaultMaxConnections;  // KQM_MAX_CONNECTIONS
  int idleTimeoutMs = kDefaultIdleTimeoutMs;            // KQM_IDLE_TIMEOUT_MS
  int connectTimeoutMs = kDefaultConnectTimeoutMs;      // KQM_CONNECT_TIMEOUT_MS (to NATS)
  std::string listenAddress = "127.0.0.1";              // KQM_LISTEN
  std::optional<AllowList> allow;                       // KQM_ALLOW; nullopt: unset
  std::optional<ListenPoint> metricsListen;             // KQM_METRICS_LISTEN; nullopt: off
  std::optional<std::string> natsUrl;                   // KQM_NATS_URL; nullopt: direct TCP
  NatsSecurity natsSecurity;                            // KQM_NATS_CREDS, ...
  ServiceDirectory services;                            // KQM_SERVICES; default: none

  // Every setting from the environment; unset ones keep the defaults above. Throws
  // KQ_EException naming the first variable whose value is not usable, and what is expected.
  static ServerOptions FromEnvironment();
};

struct ClientOptions {
  int connectTimeoutMs = kDefaultConnectTimeoutMs;  // KQM_CONNECT_TIMEOUT_MS
  int requestTimeoutMs = 0;                         // KQM_REQUEST_TIMEOUT_MS; 0: without end
  std::size_t maxFrameBytes = static_cast<std::size_t>(kDefaultMaxFrameBytes);
  std::optional<std::string> natsUrl;  // KQM_NATS_URL; nullopt: direct TCP
  NatsSecurity natsSecurity;           // KQM_NATS_CREDS, ...
  ServiceDirectory services;           // KQM_SERVICES; default: none

  // As ServerOptions::FromEnvironment.
  static ClientOptions FromEnvironment();
};

}  // namespace kqm
