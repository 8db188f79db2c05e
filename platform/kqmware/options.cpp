#include "platform/kqmware/options.h"

namespace kqm {

ServerOptions ServerOptions::FromEnvironment() {
  ServerOptions options;
  options.maxFrameBytes = MaxFrameBytes();
  options.workers = Workers();
  options.queueLimit = QueueLimit();
  options.stopTimeoutMs = StopTimeoutMs();
  options.maxConnections = MaxConnections();
  options.idleTimeoutMs = IdleTimeoutMs();
  options.connectTimeoutMs = ConnectTimeoutMs();
  options.listenAddress = ListenAddress();
  options.allow = AllowSetting();
  options.metricsListen = MetricsListen();
  options.natsUrl = NatsUrl();
  options.natsSecurity = NatsSecuritySettings();
  options.services = ServiceDirectory(ServicesFile());
  return options;
}

ClientOptions ClientOptions::FromEnvironment() {
  ClientOptions options;
  options.connectTimeoutMs = ConnectTimeoutMs();
  options.requestTimeoutMs = RequestTimeoutMs();
  options.maxFrameBytes = MaxFrameBytes();
  options.natsUrl = NatsUrl();
  options.natsSecurity = NatsSecuritySettings();
  options.services = ServiceDirectory(ServicesFile());
  return options;
}

}  // namespace kqm
