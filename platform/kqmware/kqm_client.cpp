#include "platform/kqmware/kqm_client.h"

#include <string>

#include "platform/kqmware/program_options.h"
#include "platform/kqtypes/kq_exception.h"

KQM_TClient::KQM_TClient() = default;

KQM_TClient::KQM_TClient(const kqm::ClientOptions& options) : options_(options) {}

KQM_TClient::~KQM_TClient() = default;

void KQM_TClient::SetConnectionAddress(const KQ_TString& host, const KQ_TString& serviceName,
                                       std::uint16_t port, TLocationMode mode) {
  kqm::ClientOptions options = options_ ? *options_ : kqm::ProgramOptionsInUse().client;
  std::unique_ptr<kqm::ClientTransport> transport =
      kqm::MakeClientTransport(options, host.Text(), serviceName.Text(), port);
  if (mode == kConnectNow)
    transport->Connect();
  std::lock_guard<std::mutex> lock(mutex_);
  host_ = host.Text();
  serviceName_ = serviceName.Text();
  port_ = transport->Port().value_or(port);
  transport_ = std::move(transport);
}

kqm::ClientTransport& KQM_TClient::Transport(const char* what) {
  if (transport_ == nullptr)
    throw KQ_EException(std::string(what) + " needs a service; call SetConnectionAddress first");
  return *transport_;
}

KQ_TAny KQM_TClient::Request(const KQ_TDict& request) {
  std::lock_guard<std::mutex> lock(mutex_);
  return Transport("a request").Exchange(kqm::MessageKind::kRequest, KQ_TAny(request));
}

KQ_TDict KQM_TClient::Status() {
  std::lock_guard<std::mutex> lock(mutex_);
  KQ_TAny answer = Transport("a status request").Exchange(kqm::MessageKind::kStatus, KQ_TAny());
  const KQ_TDict* status = answer.DynamicCast<KQ_TDict>();
  if (status == nullptr)
    throw KQ_EException(KQ_TString("service ") + serviceName_ + " on host " +
                        (host_.empty() ? std::string("localhost") : host_) +
                        ": the status answer is not a dictionary");
  return *status;
}

std::vector<KQ_TDict> KQM_TClient::StatusOfEvery(int windowMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  return Transport("a status request").StatusOfEvery(windowMs);
}

kqm::StatusScope KQM_TClient::StatusReach() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return transport_ != nullptr ? transport_->StatusReach() : kqm::StatusScope::kOneServer;
}

KQ_TAny KQM_TClient::Call(const KQ_TString& method, const KQ_TAny& parameter) {
  KQ_TDict request;
  request["M"] = method;
  request["P1"] = parameter;
  return Request(request);
}

void KQM_TClient::Disconnect() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (transport_ != nullptr)
    transport_->Disconnect();
}
