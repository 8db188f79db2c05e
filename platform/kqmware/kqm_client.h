// KQM_TClient, the middleware's client: sends request dictionaries to a service and returns
// its answers, by the transport its options choose (client_transport.h). Its options are
// the ones it is made with, or else the program's (kqm::ProgramOptionsInUse), taken at
// SetConnectionAddress.
//
// Timeouts: connecting waits at most options.connectTimeoutMs (KQM_CONNECT_TIMEOUT_MS,
// default 5000), an answer at most options.requestTimeoutMs (KQM_REQUEST_TIMEOUT_MS; 0, the
// default, waits without end over direct TCP, and a transport that could leave a request
// unanswered for ever bounds it, as its header says).
//
// A lost connection is made again by the next request, and a request is never sent twice:
// once it may have left, a failure is reported, not retried. A service that would not take
// a request, or closes the connection just as one arrives, says so with KQM_EBusy: that
// request was not run and may be sent again.
//
// Threads: any; requests from several threads are sent one after the other. The client owns
// its connection.
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

  // Takes the program's client options at SetConnectionAddress.
  KQM_TClient();
  explicit KQM_TClient(const kqm::ClientOptions& options);
  virtual ~KQM_TClient();
  KQM_TClient(const KQM_TClient&) = delete;
  KQM_TClient& operator=(const KQM_TClient&) = delete;

  // Aims the client at `serviceName` on `host`: on `port`, or when that is 0 on the port the
  // service directory gives the name (a transport without ports uses neither). Throws
  // KQ_EException when the service has no port or the transport cannot serve the name, and
  // with kConnectNow when the connection cannot be made.
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

  // The status of every server StatusReach names: every instance bound under the name that
  // answers within `windowMs` (none: empty), or the one server a request reaches, as Status
  // gives it. Throws as Request does.
  std::vector<KQ_TDict> StatusOfEvery(int windowMs);
  // Whom StatusOfEvery hears from, as the transport SetConnectionAddress chose says;
  // kOneServer before it.
  kqm::StatusScope StatusReach() const;

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

  std::optional<kqm::ClientOptions> options_;  // nullopt: the program's
  std::string host_;
  std::string serviceName_;
  std::uint16_t port_ = 0;
  mutable std::mutex mutex_;                         // one request at a time
  std::unique_ptr<kqm::ClientTransport> transport_;  // guarded by mutex_
};
