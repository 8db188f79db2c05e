// The client's connection to NATS with libnats (see nats_channel.h).
#include "platform/kqmware/nats/nats_channel.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/kqmware/nats/nats_security.h"
#include "platform/kqtypes/kq_exception.h"

namespace kqm {

namespace {

// Where a client's replies, and the troubles that mean no reply will come, meet the request
// waiting for them. libnats' callbacks reach it through references of their own (see
// Reference), so that it outlives the last callback.
struct ReplyBox {
  std::mutex mutex;
  std::condition_variable changed;
  // All guarded by mutex:
  std::string awaited;  // the reply subject of the request being waited for; "" when none
  std::string sentTo;   // the subject that request went to
  std::vector<std::string> replies;
  bool noResponders = false;
  std::string failure;  // why no reply will come

  // A reference for a libnats callback's closure; Release gives it back.
  static void* Reference(const std::shared_ptr<ReplyBox>& box) {
    return new std::shared_ptr<ReplyBox>(box);
  }
  static ReplyBox& From(void* closure) {
    return **static_cast<std::shared_ptr<ReplyBox>*>(closure);
  }
  static void Release(void* closure) { delete static_cast<std::shared_ptr<ReplyBox>*>(closure); }

  static void OnReply(natsConnection*, natsSubscription*, natsMsg* received, void* closure) {
    std::unique_ptr<natsMsg, decltype(&natsMsg_Destroy)> message(received, &natsMsg_Destroy);
    ReplyBox& box = From(closure);
    std::lock_guard<std::mutex> lock(box.mutex);
    // A late reply to a request given up already is dropped.
    if (box.awaited.empty() || box.awaited != natsMsg_GetSubject(received) ||
        box.replies.size() >= kMaxReplies)
      return;
    if (natsMsg_IsNoResponders(received)) {
      box.noResponders = true;
    } else {
      box.replies.emplace_back(natsMsg_GetData(received),
                               static_cast<std::size_t>(natsMsg_GetDataLength(received)));
    }
    box.changed.notify_all();
  }

  // NATS refuses a publish it does not permit with an error that comes asynchronously, and
  // never routes the message: the request waiting for its reply is told at once.
  static void OnError(natsConnection*, natsSubscription*, natsStatus status, void* closure) {
    if (status != NATS_NOT_PERMITTED)
      return;
    // The client publishes nothing but its requests, and was let subscribe to its replies
    // when it connected: a violation while a request waits refused that request.
    ReplyBox& box = From(closure);
    std::lock_guard<std::mutex> lock(box.mutex);
    if (box.awaited.empty())
      return;
    box.failure = "permissions violation: the NATS user may not publish to " + box.sentTo;
    box.changed.notify_all();
  }

  static void OnDisconnected(natsConnection*, void* closure) {
    ReplyBox& box = From(closure);
    std::lock_guard<std::mutex> lock(box.mutex);
    if (box.awaited.empty())
      return;
    box.failure = "the connection to NATS is lost; it is being made again";
    box.changed.notify_all();
  }

  static void OnClosed(natsConnection*, void* closure) { Release(closure); }

  // Replies kept for one request: a status gathering from many instances stays bounded.
  static constexpr std::size_t kMaxReplies = 4096;
};

// A client's connection: requests are published with a reply subject under the channel's own
// inbox, to which it subscribes once, and the caller waits on the ReplyBox.
class LibnatsChannel : public NatsChannel {
 public:
  LibnatsChannel(const std::string& urls, int connectTimeoutMs, const NatsSecurity& security)
      : box_(std::make_shared<ReplyBox>()) {
    natsOptions* options = MakeOptions(urls, connectTimeoutMs, security);
    // Released by the closed callback, or here when the connection never comes up: libnats
    // then calls none of its callbacks.
    void* connectionReference = ReplyBox::Reference(box_);
    natsOptions_SetErrorHandler(options, &ReplyBox::OnError, connectionReference);
    natsOptions_SetDisconnectedCB(options, &ReplyBox::OnDisconnected, connectionReference);
    natsOptions_SetClosedCB(options, &ReplyBox::OnClosed, connectionReference);
    try {
      connection_ = Connect(options, urls, security);
    } catch (...) {
      ReplyBox::Release(connectionReference);
      throw;
    }
    maxPayload_ = static_cast<std::size_t>(natsConnection_GetMaxPayload(connection_));

    natsInbox* inbox = nullptr;
    natsStatus status = natsInbox_Create(&inbox);
    if (status == NATS_OK) {
      inbox_ = inbox;
      natsInbox_Destroy(inbox);
      void* subscriptionReference = ReplyBox::Reference(box_);
      status = natsConnection_Subscribe(&replies_, connection_, (inbox_ + ".*").c_str(),
                                        &ReplyBox::OnReply, subscriptionReference);
      if (status == NATS_OK) {
        // Released once the subscription calls OnReply no more.
        status =
            natsSubscription_SetOnCompleteCB(replies_, &ReplyBox::Release, subscriptionReference);
      } else {
        ReplyBox::Release(subscriptionReference);
      }
    }
    if (status == NATS_OK)
      status = natsConnection_FlushTimeout(connection_, connectTimeoutMs);
    std::string cause;
    if (status != NATS_OK)
      cause = StatusText(status);
    else if (PermissionRefused(connection_))
      cause = "permissions violation: the NATS user may not subscribe to its replies (" + inbox_ +
              ".*)";
    if (!cause.empty()) {
      Close();
      throw KQ_EException("cannot take replies from NATS at " + urls + ": " + cause);
    }
  }

  ~LibnatsChannel() override { Close(); }

  std::string Request(const std::string& subject, const std::string& payload,
                      int timeoutMs) override {
    Outcome outcome = Send(subject, payload, timeoutMs, true);
    if (!outcome.replies.empty())
      return std::move(outcome.replies.front());
    if (outcome.noResponders)
      throw NatsNoResponders("no responders on " + subject);
    if (!outcome.failure.empty())
      throw KQ_EException(outcome.failure);
    throw KQ_EException("no answer within " + std::to_string(timeoutMs) + " ms");
  }

  std::vector<std::string> Gather(const std::string& subject, const std::string& payload,
                                  int windowMs) override {
    Outcome outcome = Send(subject, payload, windowMs, false);
    if (!outcome.failure.empty())
      throw KQ_EException(outcome.failure);
    // No responders: nobody subscribes to the subject, so no reply comes.
    return std::move(outcome.replies);
  }

  std::size_t MaxPayload() const override { return maxPayload_; }

 private:
  struct Outcome {
    std::vector<std::string> replies;
    bool noResponders = false;
    std::string failure;
  };

  // Publishes `payload` to `subject` with a reply subject of its own and waits up to `waitMs`
  // for the first reply (`firstOnly`) or for the whole time; a failure or the no-responders
  // answer ends the wait at once.
  Outcome Send(const std::string& subject, const std::string& payload, int waitMs, bool firstOnly) {
    CheckSendable(payload);
    std::string reply = inbox_ + "." + std::to_string(nextReply_++);
    {
      std::lock_guard<std::mutex> lock(box_->mutex);
      box_->awaited = reply;
      box_->sentTo = subject;
      box_->replies.clear();
      box_->noResponders = false;
      box_->failure.clear();
    }
    natsStatus status =
        natsConnection_PublishRequest(connection_, subject.c_str(), reply.c_str(), payload.data(),
                                      static_cast<int>(payload.size()));
    std::unique_lock<std::mutex> lock(box_->mutex);
    if (status == NATS_OK) {
      box_->changed.wait_for(lock, std::chrono::milliseconds(waitMs), [&] {
        return (firstOnly && !box_->replies.empty()) || box_->noResponders ||
               !box_->failure.empty();
      });
    }
    Outcome outcome{std::move(box_->replies), box_->noResponders, std::move(box_->failure)};
    box_->awaited.clear();
    box_->replies.clear();
    box_->failure.clear();
    lock.unlock();
    if (status != NATS_OK)
      throw KQ_EException(Cause(status));
    return outcome;
  }

  void Close() {
    if (connection_ == nullptr)
      return;
    natsConnection_Close(connection_);
    if (replies_ != nullptr)
      natsSubscription_Destroy(replies_);
    replies_ = nullptr;
    natsConnection_Destroy(connection_);
    connection_ = nullptr;
  }

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

  std::shared_ptr<ReplyBox> box_;
  natsConnection* connection_ = nullptr;
  natsSubscription* replies_ = nullptr;
  std::string inbox_;  // "_INBOX.<unique>"; replies come to inbox_ + ".<number>"
  std::uint64_t nextReply_ = 1;
  std::size_t maxPayload_ = 0;
};

}  // namespace

std::unique_ptr<NatsChannel> MakeNatsChannel(const std::string& urls, int connectTimeoutMs,
                                             const NatsSecurity& security) {
  return std::make_unique<LibnatsChannel>(urls, connectTimeoutMs, security);
}

}  // namespace kqm
