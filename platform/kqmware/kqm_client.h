// KQM_TClient, the middleware's client: sends request dictionaries to a service on a host
// and returns its answers. Its settings are the ClientOptions it is made with, or else the
// environment's, read at SetConnectionAddress (ClientOptions::FromEnvironment); the KQM_
// names below stand for either. Requests travel by the transport the options choose
// (client_transport.h).
//
// With KQM_NATS_URL set, requests travel over NATS instead: on the subject "kqm.SERVICE",
// answered by whichever server bound under the name NATS picks; the host and port are then
// not used. An answer is waited for at most KQM_REQUEST_TIMEOUT_MS, or 300000 ms when that
// is 0 (a request on an instance that dies is never answered). The client authenticates to
// NATS and checks it over TLS as KQM_NATS_CREDS, KQM_NATS_NKEY_SEED, KQM_NATS_TOKEN,
// KQM_NATS_USER / KQM_NATS_PASSWORD and KQM_NATS_TLS_* say (see settings.h); a refusal of
// its credentials or of a publish fails the request at once, naming the cause.
//
// A host that is this machine's own name or "localhost" (or empty) is reached over
// loopback. Connecting waits at most KQM_CONNECT_TIMEOUT_MS (default 5000), an answer at
// most KQM_REQUEST_TIMEOUT_MS (default 0: without end). A lost connection is made again by
// the next request; so is one the service has closed since the last request (servers close
// idle connections, KQM_IDLE_TIMEOUT_MS), checked before anything is sent. A request is
// never sent twice: once it may have left, a failure is reported, not retried. A service
// that refuses a connection (too many open) or closes it as idle just as a request arrives
// says so with a notice, raised as KQM_EBusy: that request was not run. Requests from several
// threads are sent one after the other. The client owns its connection.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/kqmware/client_transport.h"
#include "platform/kqmware/options.h"

#include "platform/kqtypes/kq_any.h"
#include "platform/kqtypes/kq_dict.h"
#include "platform/kqtypes/kq_string.h"

class KQM_TClient {
 public:
  // When the client connects.
  enum TLocationMode {
    // On the first request (and again on the next request after a connection was lost).
    kConnectOnRequest = 0,
    // At once in SetConnectionAddress, and later as above.
    kConnectNow = 1,
  };

  // Reads its settings from the environment at SetConnectionAddress.
  KQM_TClient();
  // Uses `options` instead of the environment.
  explicit KQM_TClient(const kqm::ClientOptions& options);
  virtual ~KQM_TClient();
  KQM_TClient(const KQM_TClient&) = delete;
  KQM_TClient& operator=(const KQM_TClient&) = delete;

  // Aims the client at `serviceName` on `host`: on `port`, or when that is 0 on the port the
  // service directory gives the name. Throws KQ_EException when the service has no port or
  // a setting is unusable (also NATS security settings that do not fit together), and with
  // kConnectNow when the connection cannot be made.
  void SetConnectionAddress(const KQ_TString& host, const KQ_TString& serviceName,
                            std::uint16_t port, TLocationMode mode);

  // Sends `request` and returns the service's answer. An exception the service raised is
  // raised here as the most derived class this process has registered; KQM_EBusy when the
  // service would not take the request or the connection (it was not run). Every other
  // failure (no address set, cannot connect, timeout, connection lost, malformed reply)
  // throws KQ_EException naming the host, the service and the cause, and whether the
  // request may have been run.
  virtual KQ_TAny Request(const KQ_TDict& request);

  // Asks the service's network side for its status (see KQM_TServer::Status); answered even
  // while every processor slot is busy. Throws as Request does.
  KQ_TDict Status();

  // The status of every instance that answers within `windowMs`: over NATS each server
  // bound under the name answers (none: empty); over TCP the one server, as Status does.
  // Throws as Request does.
  std::vector<KQ_TDict> StatusOfEvery(int windowMs);
  // Whether requests travel over NATS (KQM_NATS_URL was set at SetConnectionAddress).
  bool UsesNats() const;

  // Request with {"M": method, "P1": parameter}.
  virtual KQ_TAny Call(const KQ_TString& method, const KQ_TAny& parameter);

  // Closes the connection, if any; the next request connects again.
  void Disconnect();

  const std::string& Host() const { return host_; }
  const std::string& ServiceName() const { return serviceName_; }
  std::uint16_t Port() const { return port_; }

 private:
  // The transport, or a KQ_EException saying that `what` needs SetConnectionAddress first.
  // Only with mutex_ held.
  kqm::ClientTransport& Transport(const char* what);

  std::optional<kqm::ClientOptions> options_;  // nullopt: the environment's
  std::string host_;
  std::string serviceName_;
  std::uint16_t port_ = 0;
  mutable std::mutex mutex_;                         // one request at a time
  std::unique_ptr<kqm::ClientTransport> transport_;  // guarded by mutex_
};
