// The middleware over NATS with libnats (see nats_transport.h).
#include <utility>  // Boost 1.74 Asio uses std::exchange without including it

#include <nats/nats.h>

#include <array>
#include <atomic>
#include <boost/asio/post.hpp>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <list>
#include <mutex>
#include <sstream>

#include "platform/kqmware/nats_nkey.h"
#include "platform/kqmware/nats_services.h"
#include "platform/kqmware/nats_transport.h"
#include "platform/kqmware/settings.h"
#include "platform/kqtypes/kq_exception.h"
#include "platform/os/os.h"

namespace kqm {

namespace {

std::string StatusText(natsStatus status) {
  const char* last = nats_GetLastError(nullptr);
  std::string text = natsStatus_GetText(status);
  if (last != nullptr && *last != '\0' && text != last)
    text += std::string(" (") + last + ")";
  return text;
}

// The reason libnats gives for the last failure on this thread, without the source location
// it starts with ("(conn.c:733): SSL handshake error: ..."); the status's text without one.
std::string Reason(natsStatus status) {
  const char* last = nats_GetLastError(nullptr);
  std::string text = last != nullptr ? last : "";
  if (text.size() > 1 && text.front() == '(') {
    std::size_t end = text.find("): ");
    if (end != std::string::npos)
      text.erase(0, end + 3);
  }
  return text.empty() ? natsStatus_GetText(status) : text;
}

// Whether NATS has refused something on the connection as a permissions violation. Only
// the status is read: the error's text lives in a buffer libnats' reader thread rewrites
// under a lock of its own whenever NATS sends another error.
bool PermissionRefused(natsConnection* connection) {
  const char* ignored = nullptr;
  return natsConnection_GetLastError(connection, &ignored) == NATS_NOT_PERMITTED;
}

// Throws KQ_EException naming the setting `name` and its file `path` when the file cannot be
// read. libnats reads some files only when it connects, and names none of them well.
void RequireReadable(const char* name, const std::string& path) {
  if (!std::ifstream(path))
    throw KQ_EException(std::string(name) + " is \"" + path + "\": the file cannot be read");
}

// The whole text of the file `path` named by the setting `name`. Throws KQ_EException naming
// both when it cannot be read.
std::string ReadSettingFile(const char* name, const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  if (file)
    text << file.rdbuf();
  if (!file || file.bad())
    throw KQ_EException(std::string(name) + " is \"" + path + "\": the file cannot be read");
  return text.str();
}

// Applies the authentication and TLS settings to `options`. Throws KQ_EException naming the
// setting whose file or value libnats does not take.
void ApplySecurity(natsOptions* options, const NatsSecurity& security) {
  auto require = [](natsStatus status, const std::string& what) {
    if (status != NATS_OK)
      throw KQ_EException(what + ": " + Reason(status));
  };
  if (!security.credentialsFile.empty()) {
    RequireReadable("KQM_NATS_CREDS", security.credentialsFile);
    require(
        natsOptions_SetUserCredentialsFromFiles(options, security.credentialsFile.c_str(), nullptr),
        "KQM_NATS_CREDS is \"" + security.credentialsFile + "\"");
  }
  if (!security.nkeySeedFile.empty()) {
    std::string text = ReadSettingFile("KQM_NATS_NKEY_SEED", security.nkeySeedFile);
    std::string publicKey;
    try {
      std::string_view seed = FindNKeySeed(text);
      if (seed.empty())
        throw KQ_EException("the file holds no user NKey seed (a word starting with \"SU\")");
      publicKey = NKeyPublicKey(seed);
    } catch (const KQ_EException& error) {
      WipeSecret(text);
      throw KQ_EException("KQM_NATS_NKEY_SEED is \"" + security.nkeySeedFile +
                          "\": " + error.KQ_Message().Text());
    }
    WipeSecret(text);
    require(natsOptions_SetNKeyFromSeed(options, publicKey.c_str(), security.nkeySeedFile.c_str()),
            "KQM_NATS_NKEY_SEED is \"" + security.nkeySeedFile + "\"");
  }
  if (!security.token.empty())
    require(natsOptions_SetToken(options, security.token.c_str()), "KQM_NATS_TOKEN");
  if (!security.user.empty()) {
    require(natsOptions_SetUserInfo(options, security.user.c_str(), security.password.c_str()),
            "KQM_NATS_USER");
  }
  if (security.WantsTls())
    require(natsOptions_SetSecure(options, true), "TLS (KQM_NATS_TLS_CA, KQM_NATS_TLS_CERT)");
  if (!security.caFile.empty()) {
    RequireReadable("KQM_NATS_TLS_CA", security.caFile);
    require(natsOptions_LoadCATrustedCertificates(options, security.caFile.c_str()),
            "KQM_NATS_TLS_CA is \"" + security.caFile + "\": its certificates cannot be loaded");
  }
  if (!security.certificateFile.empty()) {
    RequireReadable("KQM_NATS_TLS_CERT", security.certificateFile);
    RequireReadable("KQM_NATS_TLS_KEY", security.keyFile);
    require(natsOptions_LoadCertificatesChain(options, security.certificateFile.c_str(),
                                              security.keyFile.c_str()),
            "KQM_NATS_TLS_CERT is \"" + security.certificateFile + "\" and KQM_NATS_TLS_KEY \"" +
                security.keyFile + "\": the certificate and its key cannot be loaded");
  }
}

// Options for a connection to `urls` (comma-separated) that reconnects without end,
// authenticating and checking NATS as `security` says. Throws KQ_EException when the URLs or
// a security setting are unusable.
natsOptions* MakeOptions(const std::string& urls, int connectTimeoutMs,
                         const NatsSecurity& security) {
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
  try {
    ApplySecurity(options, security);
  } catch (...) {
    natsOptions_Destroy(options);
    throw;
  }
  return options;
}

// Why a connection to `urls` failed with `status`, naming the settings to look at.
std::string ConnectFailure(natsStatus status, const std::string& urls,
                           const NatsSecurity& security) {
  std::string reason = Reason(status);
  switch (status) {
    case NATS_CONNECTION_AUTH_FAILED:
    case NATS_NOT_PERMITTED: {
      std::string settings = security.AuthenticationSettings();
      return "NATS at " + urls + " refused the credentials: " + reason +
             (settings.empty() ? " (none are set: KQM_NATS_USER and KQM_NATS_PASSWORD, "
                                 "KQM_NATS_TOKEN, KQM_NATS_NKEY_SEED or KQM_NATS_CREDS)"
                               : " (check " + settings + ")");
    }
    case NATS_SSL_ERROR:
      return "TLS with NATS at " + urls + " failed: " + reason +
             (security.caFile.empty()
                  ? " (KQM_NATS_TLS_CA is not set: set it to the CA that signed the NATS "
                    "server's certificate)"
                  : " (is the NATS server's certificate signed by the CA in KQM_NATS_TLS_CA "
                    "and made out to the host in KQM_NATS_URL?)");
    case NATS_SECURE_CONNECTION_WANTED:
      return "NATS at " + urls +
             " offers no TLS, which KQM_NATS_TLS_CA or KQM_NATS_TLS_CERT ask for";
    case NATS_SECURE_CONNECTION_REQUIRED:
      return "NATS at " + urls +
             " requires TLS: set KQM_NATS_TLS_CA to the CA that signed its certificate";
    default:
      return "cannot reach NATS at " + urls + " (KQM_NATS_URL): " + StatusText(status);
  }
}

natsConnection* Connect(natsOptions* options, const std::string& urls,
                        const NatsSecurity& security) {
  natsConnection* connection = nullptr;
  natsStatus status = natsConnection_Connect(&connection, options);
  natsOptions_Destroy(options);
  if (status != NATS_OK)
    throw KQ_EException(ConnectFailure(status, urls, security));
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

std::unique_ptr<ServerTransport> MakeNatsServerTransport(TransportHost& host,
                                                         const std::string& urls,
                                                         int connectTimeoutMs,
                                                         const NatsSecurity& security) {
  return std::make_unique<NatsServerTransport>(host, urls, connectTimeoutMs, security);
}

std::unique_ptr<NatsChannel> MakeNatsChannel(const std::string& urls, int connectTimeoutMs,
                                             const NatsSecurity& security) {
  return std::make_unique<LibnatsChannel>(urls, connectTimeoutMs, security);
}

}  // namespace kqm
