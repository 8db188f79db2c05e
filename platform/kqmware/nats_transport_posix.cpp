// The middleware over NATS with libnats (see nats_transport.h).
#include <utility>  // Boost 1.74 Asio uses std::exchange without including it

#include <nats/nats.h>

#include <atomic>
#include <boost/asio/post.hpp>
#include <chrono>
#include <mutex>
#include <thread>

#include "platform/kqmware/nats_transport.h"
#include "platform/kqmware/settings.h"
#include "platform/kqtypes/kq_exception.h"

namespace kqm {

namespace {

std::string StatusText(natsStatus status) {
  const char* last = nats_GetLastError(nullptr);
  std::string text = natsStatus_GetText(status);
  if (last != nullptr && *last != '\0' && text != last)
    text += std::string(" (") + last + ")";
  return text;
}

// Options for a connection to `urls` (comma-separated) that reconnects without end.
// Throws KQ_EException when the URLs are unusable.
natsOptions* MakeOptions(const std::string& urls, int connectTimeoutMs) {
  natsOptions* options = nullptr;
  natsStatus status = natsOptions_Create(&options);
  if (status == NATS_OK)
    status = natsOptions_SetURL(options, urls.c_str());
  if (status == NATS_OK && connectTimeoutMs > 0)
    status = natsOptions_SetTimeout(options, connectTimeoutMs);
  if (status == NATS_OK)
    status = natsOptions_SetMaxReconnect(options, -1);
  if (status == NATS_OK)
    status = natsOptions_SetReconnectWait(options, 250);
  // Requests and answers go out at once, not when libnats' flusher next runs (about a
  // millisecond later): a round trip is two messages.
  if (status == NATS_OK)
    status = natsOptions_SetSendAsap(options, true);
  if (status != NATS_OK) {
    natsOptions_Destroy(options);
    throw KQ_EException("KQM_NATS_URL is \"" + urls + "\": " + StatusText(status) +
                        "; expected nats://HOST:PORT, or several separated by commas");
  }
  return options;
}

natsConnection* Connect(natsOptions* options, const std::string& urls) {
  natsConnection* connection = nullptr;
  natsStatus status = natsConnection_Connect(&connection, options);
  natsOptions_Destroy(options);
  if (status != NATS_OK) {
    throw KQ_EException("cannot reach NATS at " + urls + " (KQM_NATS_URL): " + StatusText(status));
  }
  return connection;
}

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
  static void Reconnected(natsConnection*, void* closure) {
    auto* events = static_cast<ConnectionEvents*>(closure);
    events->Log("reconnected to NATS; serving " + RequestSubject(events->service) + " again");
  }
  static void Closed(natsConnection*, void* closure) {
    delete static_cast<ConnectionEvents*>(closure);
  }
};

// A server's subscriptions: requests in the service's queue group, status requests on the
// status subject. libnats delivers each subscription's messages on a thread of its own.
class NatsServerTransport : public ServerTransport {
 public:
  NatsServerTransport(TransportHost& host, const std::string& urls)
      : host_(host), urls_(urls), service_(host.ServiceName()) {
    natsOptions* options = MakeOptions(urls, ConnectTimeoutMs());
    events_ = new ConnectionEvents;
    events_->host = &host;
    events_->service = service_;
    natsOptions_SetDisconnectedCB(options, &ConnectionEvents::Disconnected, events_);
    natsOptions_SetReconnectedCB(options, &ConnectionEvents::Reconnected, events_);
    natsOptions_SetClosedCB(options, &ConnectionEvents::Closed, events_);
    // When the connection never comes up, events_ is left behind: whether libnats then
    // calls the closed callback is not promised, and a few bytes beat deleting twice.
    connection_ = Connect(options, urls);
    maxPayload_ = static_cast<std::size_t>(natsConnection_GetMaxPayload(connection_));
    natsStatus status =
        natsConnection_Subscribe(&statusSubscription_, connection_, StatusSubject(service_).c_str(),
                                 &NatsServerTransport::OnStatus, this);
    if (status == NATS_OK) {
      std::lock_guard<std::mutex> lock(mutex_);
      status = Join();
    }
    if (status == NATS_OK)
      status = natsConnection_FlushTimeout(connection_, 5000);
    if (status != NATS_OK) {
      std::string cause = StatusText(status);
      Close();
      throw KQ_EException("cannot subscribe the service " + service_ + " at NATS " + urls + ": " +
                          cause);
    }
    host_.Log(1, "serving " + RequestSubject(service_) + " in queue group " + service_ +
                     " at NATS " + urls);
  }

  ~NatsServerTransport() override { Close(); }

  void StopTaking() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_)
      return;
    stopping_ = true;
    if (requestSubscription_ == nullptr) {
      drained_ = true;
      return;
    }
    // NATS hands no more requests to this instance; those it has handed over already are
    // still taken (and answered) before the subscription goes.
    if (natsSubscription_Drain(requestSubscription_) == NATS_OK)
      natsSubscription_WaitForDrainCompletion(requestSubscription_, 2000);
    else
      natsSubscription_Unsubscribe(requestSubscription_);
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
    {
      std::lock_guard<std::mutex> lock(events_->mutex);
      events_->host = nullptr;
    }
    if (connection_ != nullptr) {
      // Answers published but still buffered go out first.
      natsConnection_FlushTimeout(connection_, 1000);
      natsConnection_Close(connection_);
    }
    // Wait for callbacks still running on libnats threads: they use this object.
    while (inCallback_ > 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (requestSubscription_ != nullptr)
      natsSubscription_Destroy(requestSubscription_);
    if (statusSubscription_ != nullptr)
      natsSubscription_Destroy(statusSubscription_);
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
    if (full) {
      // Leave the queue group, so that NATS hands the service's requests to instances
      // with room; join again once a slot frees.
      natsSubscription_Unsubscribe(requestSubscription_);
      natsSubscription_Destroy(requestSubscription_);
      requestSubscription_ = nullptr;
      host_.Log(4, "every processor slot and the queue are full: leaving queue group " + service_);
    } else if (natsStatus status = Join(); status != NATS_OK) {
      host_.Log(0, "cannot join queue group " + service_ + " again: " + StatusText(status));
    } else {
      host_.Log(4, "a processor slot is free: joined queue group " + service_ + " again");
    }
  }

 private:
  // Counts a libnats callback while it runs, so that Close can wait for it.
  class InCallback {
   public:
    explicit InCallback(NatsServerTransport& transport) : transport_(transport) {
      ++transport_.inCallback_;
    }
    ~InCallback() { --transport_.inCallback_; }
    bool Closed() const { return transport_.closed_; }

   private:
    NatsServerTransport& transport_;
  };

  // Subscribes to the requests. Only with mutex_ held.
  natsStatus Join() {
    return natsConnection_QueueSubscribe(&requestSubscription_, connection_,
                                         RequestSubject(service_).c_str(), service_.c_str(),
                                         &NatsServerTransport::OnRequest, this);
  }

  static void OnStatus(natsConnection*, natsSubscription*, natsMsg* received, void* closure) {
    auto& self = *static_cast<NatsServerTransport*>(closure);
    InCallback running(self);
    std::unique_ptr<natsMsg, decltype(&natsMsg_Destroy)> message(received, &natsMsg_Destroy);
    if (running.Closed())
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
    InCallback running(self);
    std::unique_ptr<natsMsg, decltype(&natsMsg_Destroy)> message(received, &natsMsg_Destroy);
    if (running.Closed())
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
  natsConnection* connection_ = nullptr;
  ConnectionEvents* events_ = nullptr;  // deleted by the connection's closed callback
  std::size_t maxPayload_ = 0;
  std::mutex mutex_;                                 // guards the request subscription's changes
  natsSubscription* requestSubscription_ = nullptr;  // null while out of the queue group
  natsSubscription* statusSubscription_ = nullptr;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> closed_{false};
  std::atomic<bool> drained_{false};
  std::atomic<int> outstanding_{0};  // requests taken and not yet answered
  std::atomic<int> inCallback_{0};
};

class LibnatsChannel : public NatsChannel {
 public:
  LibnatsChannel(const std::string& urls, int connectTimeoutMs) {
    natsOptions* options = MakeOptions(urls, connectTimeoutMs);
    // A request caught by a lost connection fails at once instead of waiting its timeout.
    natsOptions_SetFailRequestsOnDisconnect(options, true);
    connection_ = Connect(options, urls);
    maxPayload_ = static_cast<std::size_t>(natsConnection_GetMaxPayload(connection_));
  }

  ~LibnatsChannel() override { natsConnection_Destroy(connection_); }

  std::string Request(const std::string& subject, const std::string& payload,
                      int timeoutMs) override {
    CheckSendable(payload);
    natsMsg* reply = nullptr;
    natsStatus status = natsConnection_Request(&reply, connection_, subject.c_str(), payload.data(),
                                               static_cast<int>(payload.size()), timeoutMs);
    if (status == NATS_NO_RESPONDERS)
      throw NatsNoResponders("no responders on " + subject);
    if (status == NATS_TIMEOUT)
      throw KQ_EException("no answer within " + std::to_string(timeoutMs) + " ms");
    if (status != NATS_OK)
      throw KQ_EException(Cause(status));
    std::string answer(natsMsg_GetData(reply),
                       static_cast<std::size_t>(natsMsg_GetDataLength(reply)));
    natsMsg_Destroy(reply);
    return answer;
  }

  std::vector<std::string> Gather(const std::string& subject, const std::string& payload,
                                  int windowMs) override {
    CheckSendable(payload);
    natsInbox* inbox = nullptr;
    natsSubscription* replies = nullptr;
    natsStatus status = natsInbox_Create(&inbox);
    if (status == NATS_OK)
      status = natsConnection_SubscribeSync(&replies, connection_, inbox);
    if (status == NATS_OK)
      status = natsConnection_PublishRequest(connection_, subject.c_str(), inbox, payload.data(),
                                             static_cast<int>(payload.size()));
    if (status == NATS_OK)
      status = natsConnection_Flush(connection_);
    std::vector<std::string> answers;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(windowMs);
    while (status == NATS_OK) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                      deadline - std::chrono::steady_clock::now())
                      .count();
      if (left <= 0)
        break;
      natsMsg* reply = nullptr;
      natsStatus next = natsSubscription_NextMsg(&reply, replies, left);
      // No responders: nobody subscribes to the subject, so no reply comes.
      if (next == NATS_TIMEOUT || next == NATS_NO_RESPONDERS)
        break;
      if (next != NATS_OK) {
        status = next;
        break;
      }
      answers.emplace_back(natsMsg_GetData(reply),
                           static_cast<std::size_t>(natsMsg_GetDataLength(reply)));
      natsMsg_Destroy(reply);
    }
    natsSubscription_Destroy(replies);
    natsInbox_Destroy(inbox);
    if (status != NATS_OK)
      throw KQ_EException(Cause(status));
    return answers;
  }

  std::size_t MaxPayload() const override { return maxPayload_; }

 private:
  std::string Cause(natsStatus status) const {
    if (status == NATS_CONNECTION_DISCONNECTED || status == NATS_CONNECTION_CLOSED ||
        natsConnection_Status(connection_) != NATS_CONN_STATUS_CONNECTED)
      return "the connection to NATS is lost (" + StatusText(status) + "); it is being made again";
    return StatusText(status);
  }

  void CheckSendable(const std::string& payload) const {
    if (payload.size() > maxPayload_) {
      throw KQ_EException("the request of " + std::to_string(payload.size()) +
                          " bytes exceeds the NATS server's maximum payload of " +
                          std::to_string(maxPayload_) + " bytes");
    }
    if (natsConnection_Status(connection_) != NATS_CONN_STATUS_CONNECTED)
      throw KQ_EException(
          "not connected to NATS at the moment; the connection is being made again");
  }

  natsConnection* connection_ = nullptr;
  std::size_t maxPayload_ = 0;
};

}  // namespace

std::unique_ptr<ServerTransport> MakeNatsServerTransport(TransportHost& host,
                                                         const std::string& urls) {
  return std::make_unique<NatsServerTransport>(host, urls);
}

std::unique_ptr<NatsChannel> MakeNatsChannel(const std::string& urls, int connectTimeoutMs) {
  return std::make_unique<LibnatsChannel>(urls, connectTimeoutMs);
}

}  // namespace kqm
