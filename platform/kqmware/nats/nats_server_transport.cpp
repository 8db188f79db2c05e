// The server side of the middleware over NATS with libnats (see nats_server_transport.h).
#include "platform/kqmware/nats/nats_server_transport.h"

#include <utility>  // Boost 1.74 Asio uses std::exchange without including it

#include <array>
#include <atomic>
#include <boost/asio/post.hpp>
#include <chrono>
#include <condition_variable>
#include <list>
#include <mutex>

#include "platform/kqmware/nats/nats_security.h"
#include "platform/kqmware/nats/nats_services.h"
#include "platform/kqmware/nats/nats_subject.h"
#include "platform/kqtypes/kq_exception.h"
#include "platform/os/os.h"

namespace kqm {

namespace {

// What the connection's own callbacks (lost, made again) need. libnats may call them after
// the transport has closed the connection, so they have an object of their own, which the
// closed callback, the last one, deletes.
struct ConnectionEvents {
  std::mutex mutex;
  TransportHost* host = nullptr;  // guarded by mutex; null once the transport closes
  std::string service;

  void Log(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex);
    if (host != nullptr)
      host->Log(0, text);
  }
  static void Disconnected(natsConnection*, void* closure) {
    static_cast<ConnectionEvents*>(closure)->Log("lost the connection to NATS; reconnecting");
  }
  // Errors NATS reports while connected: a permissions violation, a slow consumer. The
  // error's text is not read (see PermissionRefused); the line says where to look.
  static void Error(natsConnection*, natsSubscription* subscription, natsStatus status,
                    void* closure) {
    auto* events = static_cast<ConnectionEvents*>(closure);
    std::string line = std::string("NATS reports an error: ") + natsStatus_GetText(status);
    if (subscription != nullptr) {
      const char* subject = natsSubscription_GetSubject(subscription);
      line += std::string(" on the subscription to ") + (subject != nullptr ? subject : "?");
    }
    if (status == NATS_NOT_PERMITTED) {
      line += " (a permissions violation: the NATS user may need to subscribe to " +
              RequestSubject(events->service) + " in queue group " + events->service + ", " +
              StatusSubject(events->service) +
              " and \"$SRV.>\", and to publish answers (allow_responses))";
    }
    events->Log(line);
  }
  static void Reconnected(natsConnection*, void* closure) {
    auto* events = static_cast<ConnectionEvents*>(closure);
    events->Log("reconnected to NATS; serving " + RequestSubject(events->service) + " again");
  }
  static void Closed(natsConnection*, void* closure) {
    delete static_cast<ConnectionEvents*>(closure);
  }
};

// A server's subscriptions: requests in the service's queue group, status requests on the
// status subject, and the NATS services API's nine subjects. libnats delivers each
// subscription's messages on a thread of its own and, once a subscription is closed (left,
// drained, or closed with the connection) and its last message handled, calls its completion
// callback there: only then may what its handler uses go. Requests run on the engine's
// threads, never on libnats' ones.
class NatsServerTransport : public ServerTransport {
 public:
  NatsServerTransport(TransportHost& host, const std::string& urls, int connectTimeoutMs,
                      const NatsSecurity& security)
      : host_(host), urls_(urls), service_(host.ServiceName()) {
    natsOptions* options = MakeOptions(urls, connectTimeoutMs, security);
    events_ = new ConnectionEvents;
    events_->host = &host;
    events_->service = service_;
    natsOptions_SetDisconnectedCB(options, &ConnectionEvents::Disconnected, events_);
    natsOptions_SetReconnectedCB(options, &ConnectionEvents::Reconnected, events_);
    natsOptions_SetClosedCB(options, &ConnectionEvents::Closed, events_);
    natsOptions_SetErrorHandler(options, &ConnectionEvents::Error, events_);
    // A connection that never comes up calls none of its callbacks (libnats 3.4, with a
    // refused port and a refused password alike), so events_ is deleted here then.
    try {
      connection_ = Connect(options, urls, security);
    } catch (...) {
      delete events_;
      events_ = nullptr;
      throw;
    }
    maxPayload_ = static_cast<std::size_t>(natsConnection_GetMaxPayload(connection_));
    identity_ = MakeIdentity();

    // The service's own subjects first: without them the server cannot serve.
    natsStatus status = Subscribe(statusSubscription_, StatusSubject(service_).c_str(), nullptr,
                                  &NatsServerTransport::OnStatus, this, false);
    if (status == NATS_OK) {
      std::lock_guard<std::mutex> lock(mutex_);
      status = Join();
    }
    if (status == NATS_OK)
      status = natsConnection_FlushTimeout(connection_, 5000);
    std::string cause;
    if (status != NATS_OK) {
      cause = StatusText(status);
    } else if (PermissionRefused(connection_)) {
      // NATS answers a subscription it does not permit with an error that comes before the
      // flush's answer: it is known here, and the server cannot serve.
      cause = "permissions violation: the NATS user may not subscribe to " +
              RequestSubject(service_) + " in queue group " + service_ + " or to " +
              StatusSubject(service_);
    }
    if (!cause.empty()) {
      Close();
      throw KQ_EException("cannot subscribe the service " + service_ + " at NATS " + urls + ": " +
                          cause);
    }
    AnswerServiceApi();
    host_.Log(1, "serving " + RequestSubject(service_) + " in queue group " + service_ +
                     " at NATS " + urls + " as instance " + identity_.id);
  }

  ~NatsServerTransport() override { Close(); }

  void StopTaking() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_.exchange(true))
      return;
    // NATS hands no more requests to this instance; those it has handed over already are
    // still taken (and answered). The last request subscription's completion callback says
    // when nothing more comes.
    if (requestSubscription_ != nullptr && natsSubscription_Drain(requestSubscription_) != NATS_OK)
      natsSubscription_Unsubscribe(requestSubscription_);
    std::lock_guard<std::mutex> completion(completionMutex_);
    if (openRequestSubscriptions_ == 0)
      drained_ = true;
  }

  bool Idle() const override { return drained_ && outstanding_ == 0; }

  void Close() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (closed_)
        return;
      closed_ = true;
      stopping_ = true;
    }
    if (events_ != nullptr) {
      std::lock_guard<std::mutex> lock(events_->mutex);
      events_->host = nullptr;
    }
    if (connection_ != nullptr) {
      // Answers published but still buffered go out first.
      natsConnection_FlushTimeout(connection_, 1000);
      natsConnection_Close(connection_);
    }
    {
      // Closing the connection closes every subscription; their handlers use this object
      // until their completion callbacks have run.
      std::unique_lock<std::mutex> completion(completionMutex_);
      if (!completed_.wait_for(completion, std::chrono::seconds(10),
                               [this] { return openSubscriptions_ == 0; })) {
        host_.Log(0, "closing NATS: " + std::to_string(openSubscriptions_) +
                         " subscription(s) did not finish within 10 s");
      }
    }
    for (Subscription& subscription : subscriptions_)
      natsSubscription_Destroy(subscription.handle);
    subscriptions_.clear();
    requestSubscription_ = statusSubscription_ = nullptr;
    if (connection_ != nullptr)
      natsConnection_Destroy(connection_);
    connection_ = nullptr;
    drained_ = true;
  }

  void CapacityChanged() override {
    // Asked under the lock, so that the last change always decides.
    std::lock_guard<std::mutex> lock(mutex_);
    bool full = host_.Saturated();
    if (stopping_ || full == (requestSubscription_ == nullptr))
      return;
    DestroyFinished();
    if (full) {
      // Leave the queue group, so that NATS hands the service's requests to instances with
      // room; the requests it has handed over already are still taken. Join again once a slot
      // frees.
      if (natsSubscription_Drain(requestSubscription_) != NATS_OK)
        natsSubscription_Unsubscribe(requestSubscription_);
      requestSubscription_ = nullptr;
      host_.Log(4, "every processor slot and the queue are full: leaving queue group " + service_);
    } else if (natsStatus status = Join(); status != NATS_OK) {
      host_.Log(0, "cannot join queue group " + service_ + " again: " + StatusText(status));
    } else {
      host_.Log(4, "a processor slot is free: joined queue group " + service_ + " again");
    }
  }

 private:
  using Handler = void (*)(natsConnection*, natsSubscription*, natsMsg*, void*);

  // A subscription and what its completion callback needs. Kept in a std::list, so that the
  // callback's closure stays where it is.
  struct Subscription {
    NatsServerTransport* owner = nullptr;
    natsSubscription* handle = nullptr;
    bool requests = false;  // a request subscription (the queue group)
    bool finished = false;  // its completion callback has run; guarded by completionMutex_
  };

  // What a services API subscription's handler needs: which question its subject asks.
  struct ApiSubject {
    NatsServerTransport* owner = nullptr;
    ServiceQuestion question = ServiceQuestion::kPing;
  };

  // Subscribes `handler` to `subject` (in `queue` when not null) and watches for the
  // subscription's end. Only with mutex_ held once serving.
  natsStatus Subscribe(natsSubscription*& handle, const char* subject, const char* queue,
                       Handler handler, void* closure, bool requests) {
    natsSubscription* made = nullptr;
    natsStatus status =
        queue != nullptr
            ? natsConnection_QueueSubscribe(&made, connection_, subject, queue, handler, closure)
            : natsConnection_Subscribe(&made, connection_, subject, handler, closure);
    if (status != NATS_OK)
      return status;
    Subscription& subscription = subscriptions_.emplace_back();
    subscription.owner = this;
    subscription.handle = made;
    subscription.requests = requests;
    {
      std::lock_guard<std::mutex> completion(completionMutex_);
      ++openSubscriptions_;
      openRequestSubscriptions_ += requests ? 1 : 0;
    }
    status =
        natsSubscription_SetOnCompleteCB(made, &NatsServerTransport::OnComplete, &subscription);
    if (status != NATS_OK) {
      // Without the callback its end cannot be told: take it back at once.
      natsSubscription_Unsubscribe(made);
      std::lock_guard<std::mutex> completion(completionMutex_);
      Finish(subscription);
      return status;
    }
    handle = made;
    return NATS_OK;
  }

  // Subscribes to the requests. Only with mutex_ held.
  natsStatus Join() {
    return Subscribe(requestSubscription_, RequestSubject(service_).c_str(), service_.c_str(),
                     &NatsServerTransport::OnRequest, this, true);
  }

  // Subscribes to the services API's subjects. NATS users from before the API may not be
  // allowed them: the service is then served all the same, without the API, and says so.
  void AnswerServiceApi() {
    auto subjects = ServiceApiSubjects(identity_);
    for (std::size_t i = 0; i < apiSubjects_.size(); ++i)
      apiSubjects_[i] = {this, static_cast<ServiceQuestion>(i)};
    natsStatus status = NATS_OK;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (const auto& [subject, question] : subjects) {
        natsSubscription* handle = nullptr;
        status = Subscribe(handle, subject.c_str(), nullptr, &NatsServerTransport::OnServiceApi,
                           &apiSubjects_[static_cast<std::size_t>(question)], false);
        if (status != NATS_OK)
          break;
      }
    }
    if (status == NATS_OK)
      status = natsConnection_FlushTimeout(connection_, 5000);
    if (status != NATS_OK) {
      host_.Log(0, "the NATS services API is not answered: " + StatusText(status));
    } else if (PermissionRefused(connection_)) {
      host_.Log(0,
                "the NATS services API is not answered: the NATS user may not subscribe to "
                "$SRV.PING, $SRV.INFO and $SRV.STATS (allow it to subscribe to \"$SRV.>\")");
    }
  }

  ServiceIdentity MakeIdentity() const {
    ServiceIdentity identity;
    identity.name = service_;
    // A NATS unique id: the inbox libnats makes is "_INBOX." and one.
    natsInbox* inbox = nullptr;
    if (natsInbox_Create(&inbox) == NATS_OK) {
      std::string text = inbox;
      natsInbox_Destroy(inbox);
      identity.id = text.substr(text.find('.') + 1);
    }
    if (identity.id.empty())
      identity.id = std::to_string(os::ProcessId());
    identity.version = VTPS_VERSION;
    identity.description = "the service " + service_ + " over the kqm request middleware";
    char hostName[256];
    os::ReadHostName(os::NativeHostNameCalls(), hostName, sizeof hostName);
    ServerState state = host_.State();
    identity.metadata = {{"host", hostName},
                         {"pid", std::to_string(state.processId)},
                         {"workers", std::to_string(state.slots.slots)},
                         {"queueLimit", std::to_string(state.slots.queueLimit)}};
    identity.endpointSubject = RequestSubject(service_);
    identity.queueGroup = service_;
    return identity;
  }

  // Notes that a subscription's handler runs no more. Only with completionMutex_ held.
  void Finish(Subscription& subscription) {
    if (subscription.finished)
      return;
    subscription.finished = true;
    --openSubscriptions_;
    if (subscription.requests)
      --openRequestSubscriptions_;
    if (stopping_ && openRequestSubscriptions_ == 0 && !drained_) {
      drained_ = true;
      if (outstanding_ == 0 && !closed_)
        host_.TransportIdle();
    }
    completed_.notify_all();
  }

  static void OnComplete(void* closure) {
    auto& subscription = *static_cast<Subscription*>(closure);
    NatsServerTransport& self = *subscription.owner;
    std::lock_guard<std::mutex> completion(self.completionMutex_);
    self.Finish(subscription);
  }

  // Destroys the request subscriptions left or drained before whose handlers have finished.
  // Only with mutex_ held.
  void DestroyFinished() {
    std::lock_guard<std::mutex> completion(completionMutex_);
    for (auto it = subscriptions_.begin(); it != subscriptions_.end();) {
      if (it->finished && it->handle != requestSubscription_ && it->handle != statusSubscription_) {
        natsSubscription_Destroy(it->handle);
        it = subscriptions_.erase(it);
      } else {
        ++it;
      }
    }
  }

  static void OnServiceApi(natsConnection*, natsSubscription*, natsMsg* received, void* closure) {
    std::unique_ptr<natsMsg, decltype(&natsMsg_Destroy)> message(received, &natsMsg_Destroy);
    const auto& subject = *static_cast<ApiSubject*>(closure);
    NatsServerTransport& self = *subject.owner;
    const char* reply = natsMsg_GetReply(received);
    if (reply == nullptr || self.closed_)
      return;
    std::string answer = ServiceResponse(subject.question, self.identity_, self.host_.State());
    natsStatus status = natsConnection_Publish(self.connection_, reply, answer.data(),
                                               static_cast<int>(answer.size()));
    if (status != NATS_OK)
      self.host_.Log(0, "cannot answer the NATS services API: " + StatusText(status));
  }

  static void OnStatus(natsConnection*, natsSubscription*, natsMsg* received, void* closure) {
    auto& self = *static_cast<NatsServerTransport*>(closure);
    std::unique_ptr<natsMsg, decltype(&natsMsg_Destroy)> message(received, &natsMsg_Destroy);
    if (self.closed_)
      return;
    const char* reply = natsMsg_GetReply(received);
    if (reply == nullptr)
      return;
    Message request;
    try {
      request = DecodePayload(std::string_view(
          natsMsg_GetData(received), static_cast<std::size_t>(natsMsg_GetDataLength(received))));
    } catch (const std::exception& error) {
      return self.host_.Log(0,
                            std::string("undecodable status request over NATS: ") + error.what());
    }
    self.Publish(reply, self.host_.StatusFrame(request.id));
  }

  static void OnRequest(natsConnection*, natsSubscription*, natsMsg* received, void* closure) {
    auto& self = *static_cast<NatsServerTransport*>(closure);
    std::unique_ptr<natsMsg, decltype(&natsMsg_Destroy)> message(received, &natsMsg_Destroy);
    if (self.closed_)
      return;
    const char* replyText = natsMsg_GetReply(received);
    if (replyText == nullptr) {
      return self.host_.Log(0, "a request over NATS without a reply subject was ignored");
    }
    auto request = std::make_shared<Message>();
    try {
      *request = DecodePayload(std::string_view(
          natsMsg_GetData(received), static_cast<std::size_t>(natsMsg_GetDataLength(received))));
    } catch (const std::exception& error) {
      return self.host_.Log(0, std::string("undecodable request over NATS: ") + error.what());
    }
    std::string reply = replyText;
    if (request->kind == MessageKind::kStatus)
      return self.Publish(reply, self.host_.StatusFrame(request->id));
    if (request->kind != MessageKind::kRequest) {
      return self.host_.Log(0, "a message over NATS that is not a request was ignored");
    }
    ++self.outstanding_;
    // The processor runs on the engine's threads, never on libnats' delivery thread.
    boost::asio::io_context& io = self.host_.Io();
    boost::asio::post(io, [&self, &io, request, reply] {
      self.host_.HandleRequest(
          request, [&io](std::function<void()> work) { boost::asio::post(io, std::move(work)); },
          [&self, reply](std::string frame) {
            self.Publish(reply, frame);
            if (--self.outstanding_ == 0 && self.stopping_)
              self.host_.TransportIdle();
          });
    });
  }

  // Sends a reply frame's payload to `reply`; an answer over the NATS server's maximum
  // payload is replaced by an exception naming both sizes.
  void Publish(const std::string& reply, const std::string& frame) {
    if (closed_)
      return;
    std::string_view payload(frame);
    payload.remove_prefix(kFrameHeaderBytes);
    std::string refusal;
    if (payload.size() > maxPayload_) {
      Message answer = DecodeHeaderOnly(payload);
      refusal = EncodeFrame(
          MessageKind::kException, answer.id,
          KQ_TAny(KQ_EException("the answer cannot be sent: its " + std::to_string(payload.size()) +
                                " bytes exceed the NATS server's maximum payload of " +
                                std::to_string(maxPayload_) + " bytes")));
      payload = std::string_view(refusal);
      payload.remove_prefix(kFrameHeaderBytes);
    }
    natsStatus status = natsConnection_Publish(connection_, reply.c_str(), payload.data(),
                                               static_cast<int>(payload.size()));
    if (status != NATS_OK)
      host_.Log(0, "cannot send an answer over NATS: " + StatusText(status));
  }

  // The id of a payload without decoding its value.
  static Message DecodeHeaderOnly(std::string_view payload) {
    Message message;
    for (std::size_t i = 1; i < kMessageHeaderBytes && i < payload.size(); ++i)
      message.id = (message.id << 8) | static_cast<unsigned char>(payload[i]);
    return message;
  }

  TransportHost& host_;
  const std::string urls_;
  const std::string service_;
  ServiceIdentity identity_;
  natsConnection* connection_ = nullptr;
  ConnectionEvents* events_ = nullptr;  // deleted by the connection's closed callback
  std::size_t maxPayload_ = 0;
  std::array<ApiSubject, 3> apiSubjects_;  // by ServiceQuestion
  // Guards the subscriptions' making and leaving (subscriptions_, the two handles).
  std::mutex mutex_;
  std::list<Subscription> subscriptions_;            // every one not yet destroyed
  natsSubscription* requestSubscription_ = nullptr;  // null while out of the queue group
  natsSubscription* statusSubscription_ = nullptr;
  // Guards the completion counts and each Subscription's `finished`.
  std::mutex completionMutex_;
  std::condition_variable completed_;
  int openSubscriptions_ = 0;         // whose completion callback has not run
  int openRequestSubscriptions_ = 0;  // the same, of the request subscriptions
  std::atomic<bool> stopping_{false};
  std::atomic<bool> closed_{false};
  std::atomic<bool> drained_{false};
  std::atomic<int> outstanding_{0};  // requests taken and not yet answered
};

}  // namespace

std::unique_ptr<ServerTransport> MakeNatsServerTransport(TransportHost& host,
                                                         const std::string& urls,
                                                         int connectTimeoutMs,
                                                         const NatsSecurity& security) {
  return std::make_unique<NatsServerTransport>(host, urls, connectTimeoutMs, security);
}

}  // namespace kqm
