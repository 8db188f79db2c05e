// The client side of the middleware over NATS (see nats_client_transport.h).
#include "platform/kqmware/nats/nats_client_transport.h"

#include <string>
#include <vector>

#include "platform/kqmware/kqm_ebusy.h"
#include "platform/kqmware/nats/nats_channel.h"
#include "platform/kqmware/nats/nats_subject.h"
#include "platform/kqmware/wire.h"
#include "platform/kqtypes/kq_exception.h"

namespace kqm {

namespace {

// The client's side of the middleware over NATS: requests go on the service's subject and
// whichever instance NATS picks answers. Connects on first use.
class NatsClientTransport : public ClientTransport {
 public:
  NatsClientTransport(std::string serviceName, const ClientOptions& options)
      : urls_(options.natsUrl.value_or("")),
        serviceName_(std::move(serviceName)),
        security_(options.natsSecurity),
        connectTimeoutMs_(options.connectTimeoutMs),
        requestTimeoutMs_(options.requestTimeoutMs > 0 ? options.requestTimeoutMs
                                                       : kDefaultRequestTimeoutMs) {}

  void Connect() override {
    if (channel_ != nullptr)
      return;
    try {
      channel_ = MakeNatsChannel(urls_, connectTimeoutMs_, security_);
    } catch (const KQ_EException& error) {
      throw Failure(error.KQ_Message().Text());
    }
  }

  KQ_TAny Exchange(MessageKind kind, const KQ_TAny& value) override {
    Connect();
    std::uint64_t id = nextId_++;
    std::string payload = Payload(kind, id, value);
    const std::string subject =
        kind == MessageKind::kStatus ? StatusSubject(serviceName_) : RequestSubject(serviceName_);
    std::string answer;
    try {
      answer = channel_->Request(subject, payload, requestTimeoutMs_);
    } catch (const NatsNoResponders&) {
      if (kind == MessageKind::kRequest)
        RaiseWhenFull();
      throw Failure("no server serves the service " + serviceName_ + " (nobody subscribes to " +
                    subject + ")");
    } catch (const KQ_EException& error) {
      throw Failure(error.KQ_Message().Text());
    }
    return Decode(answer, id);
  }

  std::vector<KQ_TDict> StatusOfEvery(int windowMs) override {
    Connect();
    std::uint64_t id = nextId_++;
    std::vector<std::string> answers;
    try {
      answers = channel_->Gather(StatusSubject(serviceName_),
                                 Payload(MessageKind::kStatus, id, KQ_TAny()), windowMs);
    } catch (const KQ_EException& error) {
      throw Failure(error.KQ_Message().Text());
    }
    std::vector<KQ_TDict> states;
    for (const std::string& answer : answers) {
      KQ_TAny state = Decode(answer, id);
      if (const auto* dictionary = state.DynamicCast<KQ_TDict>())
        states.push_back(*dictionary);
    }
    return states;
  }

  StatusScope StatusReach() const override { return StatusScope::kEveryInstance; }

  void Disconnect() override {}
  std::optional<std::uint16_t> Port() const override { return std::nullopt; }

 private:
  // How long an answer is waited for when KQM_REQUEST_TIMEOUT_MS is 0: over NATS a request
  // whose instance died is never answered, so some limit is needed.
  static constexpr int kDefaultRequestTimeoutMs = 300000;
  // How long a status answer may take when deciding between busy and not served: the
  // network side answers at once, unless the machine is very loaded.
  static constexpr int kStatusWaitMs = 2000;

  KQ_EException Failure(const std::string& cause) const {
    return KQ_EException(KQ_TString("service ") + serviceName_ + " via NATS " + urls_ + ": " +
                         cause);
  }

  std::string Payload(MessageKind kind, std::uint64_t id, const KQ_TAny& value) const {
    std::string frame = EncodeFrame(kind, id, value);
    return frame.substr(kFrameHeaderBytes);
  }

  // Every instance has left the queue group because it is full, but they still answer the
  // status subject: that is the busy error, not a missing service.
  void RaiseWhenFull() {
    try {
      channel_->Request(StatusSubject(serviceName_), Payload(MessageKind::kStatus, 0, KQ_TAny()),
                        kStatusWaitMs);
    } catch (const std::exception&) {
      return;  // no instance answers either: the service is not served
    }
    throw KQM_EBusy("the service " + serviceName_ +
                    " is busy: every instance has all its processor slots and its queue full");
  }

  KQ_TAny Decode(const std::string& payload, std::uint64_t id) const {
    Message reply;
    try {
      reply = DecodePayload(payload);
    } catch (const std::exception& error) {
      throw Failure(std::string("malformed answer: ") + error.what());
    }
    if (reply.id != id ||
        (reply.kind != MessageKind::kAnswer && reply.kind != MessageKind::kException))
      throw Failure("the answer does not belong to the request");
    if (reply.kind == MessageKind::kAnswer)
      return std::move(reply.value);
    const auto* error = reply.value.DynamicCast<KQ_EException>();
    if (error == nullptr)
      throw Failure("the service sent an exception that is not one");
    KQ_EException* copy = const_cast<KQ_EException*>(error);
    copy->AddTrace(KQ_TString("raised by service ") + serviceName_ + " via NATS");
    copy->KQ_Raise();
    throw *copy;  // not reached: KQ_Raise always throws
  }

  const std::string urls_;
  const std::string serviceName_;
  const NatsSecurity security_;
  const int connectTimeoutMs_;
  const int requestTimeoutMs_;
  std::uint64_t nextId_ = 1;
  std::unique_ptr<NatsChannel> channel_;
};

}  // namespace

std::unique_ptr<ClientTransport> MakeNatsClientTransport(const std::string& service,
                                                         const ClientOptions& options) {
  CheckSubjectToken(service);
  return std::make_unique<NatsClientTransport>(service, options);
}

}  // namespace kqm
