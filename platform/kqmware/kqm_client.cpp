#include "platform/kqmware/kqm_client.h"

#include <utility>  // Boost 1.74 Asio uses std::exchange without including it

#include <boost/asio.hpp>
#include <cctype>
#include <chrono>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/kqmware/kqm_ebusy.h"
#include "platform/kqmware/nats_transport.h"
#include "platform/kqmware/service_directory.h"
#include "platform/kqmware/settings.h"
#include "platform/kqmware/wire.h"
#include "platform/kqtypes/kq_exception.h"
#include "platform/os/os.h"

namespace asio = boost::asio;
using asio::ip::tcp;

namespace {

bool SameHostName(const std::string& a, const std::string& b) {
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

bool IsThisMachine(const std::string& host) {
  if (host.empty() || SameHostName(host, "localhost") || host == "127.0.0.1" || host == "::1")
    return true;
  char own[256];
  os::ReadHostName(os::NativeHostNameCalls(), own, sizeof own);
  return SameHostName(host, own);
}

}  // namespace

// One connection to the service, with its own io_context; every wait has a deadline.
class KQM_TClient::Connection {
 public:
  Connection(std::string host, std::string serviceName, std::uint16_t port)
      : host_(std::move(host)),
        serviceName_(std::move(serviceName)),
        port_(port),
        socket_(io_),
        connectTimeoutMs_(kqm::ConnectTimeoutMs()),
        requestTimeoutMs_(kqm::RequestTimeoutMs()),
        maxFrame_(kqm::MaxFrameBytes()) {}

  void Connect() {
    if (socket_.is_open())
      return;
    std::vector<tcp::endpoint> endpoints = Endpoints();
    boost::system::error_code result = asio::error::would_block;
    asio::async_connect(socket_, endpoints,
                        [&result](boost::system::error_code error, const tcp::endpoint&) {
                          result = error ? error : boost::system::error_code();
                        });
    Await(result, connectTimeoutMs_, "connecting");
    if (result) {
      Reset();
      throw Failure("cannot connect: " + result.message());
    }
    boost::system::error_code ignored;
    socket_.set_option(tcp::no_delay(true), ignored);
    os::SetNoInherit(static_cast<std::intptr_t>(socket_.native_handle()));
  }

  // Sends one message (a request, or a status request with a null value) and returns the
  // answer.
  //
  // A request is sent at most once. A connection the service has closed since the last
  // request (as idle, or refusing it as it came) is made again before the request is sent.
  // Once its first byte may have left, a failure is reported and never retried: a service
  // may close an idle connection just as a request is sent, and the request is then not
  // run, but the client cannot tell that from a service that failed while running it,
  // unless the service's notice (see below) arrives first.
  KQ_TAny Exchange(kqm::MessageKind kind, const KQ_TAny& value) {
    if (socket_.is_open() && ClosedByService())
      Reset();
    Connect();
    std::uint64_t id = nextId_++;
    std::string frame = kqm::EncodeFrame(kind, id, value);
    auto deadline = requestTimeoutMs_ > 0 ? std::chrono::steady_clock::now() +
                                                std::chrono::milliseconds(requestTimeoutMs_)
                                          : std::chrono::steady_clock::time_point::max();
    boost::system::error_code sendError = Transfer(
        [&](boost::system::error_code& error) { asio::write(socket_, asio::buffer(frame), error); },
        [&](auto handler) { asio::async_write(socket_, asio::buffer(frame), handler); }, deadline,
        "sending the request");
    if (sendError) {
      // A service that refuses a connection sends a notice and closes it: that notice is the
      // answer, if it came before the connection broke.
      RaisePendingNotice();
      Reset();
      throw Failure("sending the request: " + Cause(sendError) +
                    "; it did not reach the service whole, so it was not run");
    }
    std::string_view payload = ReadFrame(deadline);

    kqm::Message reply;
    try {
      reply = kqm::DecodePayload(payload);
    } catch (const KQ_EException& error) {
      Reset();
      throw Failure("malformed answer: " + error.KQ_Message().Text());
    } catch (const std::exception& error) {
      Reset();
      throw Failure(std::string("malformed answer: ") + error.what());
    }
    if (IsNotice(reply)) {
      Reset();
      RaiseRemote(reply.value);
    }
    if (reply.id != id ||
        (reply.kind != kqm::MessageKind::kAnswer && reply.kind != kqm::MessageKind::kException)) {
      Reset();
      throw Failure("the answer does not belong to the request");
    }
    if (closing_)
      Reset();
    if (reply.kind == kqm::MessageKind::kAnswer)
      return std::move(reply.value);
    RaiseRemote(reply.value);
  }

  void Reset() {
    boost::system::error_code ignored;
    socket_.close(ignored);
    // Let the handlers of aborted operations run before the next use.
    io_.restart();
    io_.run();
  }

 private:
  // The host as messages name it.
  std::string ShownHost() const { return host_.empty() ? "localhost" : host_; }

  // Whether `message` is a notice: an exception with request id 0 (no request has that id),
  // which a service sends as it closes a connection it will not read from again, such as
  // KQM_EBusy for a connection past its limit or one closed as idle.
  static bool IsNotice(const kqm::Message& message) {
    return message.id == 0 && message.kind == kqm::MessageKind::kException;
  }

  // What a failed transfer's `error` means to the caller.
  static std::string Cause(const boost::system::error_code& error) {
    if (error == asio::error::eof || error == asio::error::connection_reset ||
        error == asio::error::broken_pipe || error == asio::error::connection_aborted)
      return "the service closed the connection";
    return error.message();
  }

  // Whether the service has closed the connection since it was last used, or is closing it
  // (it sends nothing unasked but a notice as it closes). Looks without waiting and takes
  // nothing; a connection that can no longer be checked counts as closed.
  bool ClosedByService() {
    boost::system::error_code error;
    socket_.non_blocking(true, error);
    if (error)
      return true;
    char next = 0;
    socket_.receive(asio::buffer(&next, 1), tcp::socket::message_peek, error);
    boost::system::error_code ignored;
    socket_.non_blocking(false, ignored);
    return error != asio::error::would_block;
  }

  // Raises the notice the service sent before the connection broke, when it is all here;
  // returns when it is not. Reads without waiting.
  void RaisePendingNotice() {
    if (!socket_.is_open())
      return;
    boost::system::error_code error;
    socket_.non_blocking(true, error);
    frames_.Clear();
    while (!error && frames_.Check() == kqm::FrameReader::State::kNeedMore) {
      std::span<char> room = frames_.Prepare();
      frames_.Commit(socket_.read_some(asio::buffer(room.data(), room.size()), error));
    }
    if (frames_.Check() != kqm::FrameReader::State::kReady)
      return;
    kqm::Message notice;
    try {
      notice = kqm::DecodePayload(frames_.Payload());
    } catch (const std::exception&) {
      return;
    }
    if (!IsNotice(notice))
      return;
    Reset();
    RaiseRemote(notice.value);
  }

  KQ_EException Failure(const std::string& cause) const {
    return KQ_EException(KQ_TString("service ") + serviceName_ + " on host " + ShownHost() +
                         " (port " + std::to_string(port_) + "): " + cause);
  }

  std::vector<tcp::endpoint> Endpoints() {
    if (IsThisMachine(host_))
      return {tcp::endpoint(asio::ip::address_v4::loopback(), port_)};
    tcp::resolver resolver(io_);
    boost::system::error_code error;
    auto results = resolver.resolve(host_, std::to_string(port_), error);
    if (error || results.empty())
      throw Failure("cannot resolve the host: " + (error ? error.message() : "no address"));
    std::vector<tcp::endpoint> endpoints;
    for (const auto& entry : results)
      endpoints.push_back(entry.endpoint());
    return endpoints;
  }

  // Runs the io_context until `result` is set or `timeoutMs` (0: no limit) has passed; on
  // the deadline closes the socket and throws.
  void Await(boost::system::error_code& result, int timeoutMs, const char* what) {
    auto deadline = timeoutMs > 0
                        ? std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs)
                        : std::chrono::steady_clock::time_point::max();
    AwaitUntil(result, deadline, what, timeoutMs);
  }

  void AwaitUntil(boost::system::error_code& result, std::chrono::steady_clock::time_point deadline,
                  const char* what, int timeoutMs) {
    io_.restart();
    while (result == asio::error::would_block) {
      if (deadline == std::chrono::steady_clock::time_point::max()) {
        if (io_.run_one() == 0)
          break;
      } else if (io_.run_one_until(deadline) == 0) {
        break;
      }
    }
    if (result == asio::error::would_block) {
      Reset();
      throw Failure(std::string(what) + " timed out after " +
                    std::to_string(timeoutMs > 0 ? timeoutMs : requestTimeoutMs_) + " ms");
    }
  }

  // Runs one transfer: blocking when there is no deadline (the cheapest way to wait), else
  // asynchronously with the deadline. Returns the error; throws naming `what` on timeout.
  template <class Sync, class Async>
  boost::system::error_code Transfer(Sync sync, Async async,
                                     std::chrono::steady_clock::time_point deadline,
                                     const char* what) {
    boost::system::error_code result;
    if (deadline == std::chrono::steady_clock::time_point::max()) {
      sync(result);
    } else {
      result = asio::error::would_block;
      async([&result](boost::system::error_code error, std::size_t) {
        result = error ? error : boost::system::error_code();
      });
      AwaitUntil(result, deadline, what, requestTimeoutMs_);
    }
    return result;
  }

  // The payload of the next frame, valid until the next request.
  std::string_view ReadFrame(std::chrono::steady_clock::time_point deadline) {
    frames_.Clear();  // the previous answer, or what a broken exchange left
    for (;;) {
      switch (frames_.Check()) {
        case kqm::FrameReader::State::kNeedMore:
          ReadSome(deadline);
          continue;
        case kqm::FrameReader::State::kTooLarge:
          Reset();
          throw Failure("the answer of " + std::to_string(frames_.AnnouncedLength()) +
                        " bytes exceeds the limit of " + std::to_string(maxFrame_) +
                        " bytes (KQM_MAX_FRAME_BYTES)");
        case kqm::FrameReader::State::kReady:
          break;
      }
      // A service sends nothing unasked but a notice as it closes a connection (one closed
      // as idle right after its answer was read late): the answer stands, and the next
      // request connects again.
      closing_ = frames_.Buffered() > kqm::kFrameHeaderBytes + frames_.AnnouncedLength();
      return frames_.Payload();
    }
  }

  // Reads more of the answer, at least one byte.
  void ReadSome(std::chrono::steady_clock::time_point deadline) {
    std::span<char> room = frames_.Prepare();
    auto space = asio::buffer(room.data(), room.size());
    std::size_t count = 0;
    boost::system::error_code error = Transfer(
        [&](boost::system::error_code& result) { count = socket_.read_some(space, result); },
        [&](auto handler) {
          socket_.async_read_some(
              space, [&count, handler](boost::system::error_code result, std::size_t n) mutable {
                count = n;
                handler(result, n);
              });
        },
        deadline, "waiting for the answer");
    if (error) {
      Reset();
      throw Failure("waiting for the answer: " + Cause(error) +
                    (frames_.Buffered() == 0
                         ? "; the request was not sent again, as the service may have run it"
                         : std::string()));
    }
    frames_.Commit(count);
  }

  [[noreturn]] void RaiseRemote(const KQ_TAny& value) const {
    const auto* error = value.DynamicCast<KQ_EException>();
    if (error == nullptr)
      throw Failure("the service sent an exception that is not one");
    KQ_EException* copy = const_cast<KQ_EException*>(error);
    copy->AddTrace(KQ_TString("raised by service ") + serviceName_ + " on host " + ShownHost());
    copy->KQ_Raise();
    throw *copy;  // not reached: KQ_Raise always throws
  }

  const std::string host_;
  const std::string serviceName_;
  const std::uint16_t port_;
  asio::io_context io_;
  tcp::socket socket_;
  const int connectTimeoutMs_;
  const int requestTimeoutMs_;
  const std::size_t maxFrame_;
  std::uint64_t nextId_ = 1;
  kqm::FrameReader frames_{maxFrame_};  // the answer being read
  bool closing_ = false;                // more than the answer came: the service is closing
};

// The client's side of the middleware over NATS: requests go on the service's subject and
// whichever instance NATS picks answers. Connects on first use.
class KQM_TClient::NatsLink {
 public:
  NatsLink(std::string urls, std::string serviceName, kqm::NatsSecurity security)
      : urls_(std::move(urls)),
        serviceName_(std::move(serviceName)),
        security_(std::move(security)),
        connectTimeoutMs_(kqm::ConnectTimeoutMs()),
        requestTimeoutMs_(kqm::RequestTimeoutMs() > 0 ? kqm::RequestTimeoutMs()
                                                      : kDefaultRequestTimeoutMs) {}

  void Connect() {
    if (channel_ != nullptr)
      return;
    try {
      channel_ = kqm::MakeNatsChannel(urls_, connectTimeoutMs_, security_);
    } catch (const KQ_EException& error) {
      throw Failure(error.KQ_Message().Text());
    }
  }

  KQ_TAny Exchange(kqm::MessageKind kind, const KQ_TAny& value) {
    Connect();
    std::uint64_t id = nextId_++;
    std::string payload = Payload(kind, id, value);
    const std::string subject = kind == kqm::MessageKind::kStatus
                                    ? kqm::StatusSubject(serviceName_)
                                    : kqm::RequestSubject(serviceName_);
    std::string answer;
    try {
      answer = channel_->Request(subject, payload, requestTimeoutMs_);
    } catch (const kqm::NatsNoResponders&) {
      if (kind == kqm::MessageKind::kRequest)
        RaiseWhenFull();
      throw Failure("no server serves the service " + serviceName_ + " (nobody subscribes to " +
                    subject + ")");
    } catch (const KQ_EException& error) {
      throw Failure(error.KQ_Message().Text());
    }
    return Decode(answer, id);
  }

  std::vector<KQ_TDict> StatusOfEvery(int windowMs) {
    Connect();
    std::uint64_t id = nextId_++;
    std::vector<std::string> answers;
    try {
      answers = channel_->Gather(kqm::StatusSubject(serviceName_),
                                 Payload(kqm::MessageKind::kStatus, id, KQ_TAny()), windowMs);
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

  std::string Payload(kqm::MessageKind kind, std::uint64_t id, const KQ_TAny& value) const {
    std::string frame = kqm::EncodeFrame(kind, id, value);
    return frame.substr(kqm::kFrameHeaderBytes);
  }

  // Every instance has left the queue group because it is full, but they still answer the
  // status subject: that is the busy error, not a missing service.
  void RaiseWhenFull() {
    try {
      channel_->Request(kqm::StatusSubject(serviceName_),
                        Payload(kqm::MessageKind::kStatus, 0, KQ_TAny()), kStatusWaitMs);
    } catch (const std::exception&) {
      return;  // no instance answers either: the service is not served
    }
    throw KQM_EBusy("the service " + serviceName_ +
                    " is busy: every instance has all its processor slots and its queue full");
  }

  KQ_TAny Decode(const std::string& payload, std::uint64_t id) const {
    kqm::Message reply;
    try {
      reply = kqm::DecodePayload(payload);
    } catch (const std::exception& error) {
      throw Failure(std::string("malformed answer: ") + error.what());
    }
    if (reply.id != id ||
        (reply.kind != kqm::MessageKind::kAnswer && reply.kind != kqm::MessageKind::kException))
      throw Failure("the answer does not belong to the request");
    if (reply.kind == kqm::MessageKind::kAnswer)
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
  const kqm::NatsSecurity security_;
  const int connectTimeoutMs_;
  const int requestTimeoutMs_;
  std::uint64_t nextId_ = 1;
  std::unique_ptr<kqm::NatsChannel> channel_;
};

KQM_TClient::KQM_TClient() = default;

KQM_TClient::~KQM_TClient() = default;

void KQM_TClient::SetConnectionAddress(const KQ_TString& host, const KQ_TString& serviceName,
                                       std::uint16_t port, TLocationMode mode) {
  if (std::optional<std::string> urls = kqm::NatsUrl()) {
    kqm::CheckSubjectToken(serviceName.Text());
    auto nats = std::make_unique<NatsLink>(*urls, serviceName.Text(), kqm::NatsSecuritySettings());
    if (mode == kConnectNow)
      nats->Connect();
    std::lock_guard<std::mutex> lock(mutex_);
    host_ = host.Text();
    serviceName_ = serviceName.Text();
    port_ = port;
    connection_.reset();
    nats_ = std::move(nats);
    return;
  }
  std::uint16_t usedPort = port != 0 ? port : kqm::ServicePort(serviceName.Text());
  auto connection = std::make_unique<Connection>(host.Text(), serviceName.Text(), usedPort);
  if (mode == kConnectNow)
    connection->Connect();
  std::lock_guard<std::mutex> lock(mutex_);
  host_ = host.Text();
  serviceName_ = serviceName.Text();
  port_ = usedPort;
  nats_.reset();
  connection_ = std::move(connection);
}

KQ_TAny KQM_TClient::Request(const KQ_TDict& request) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (nats_ != nullptr)
    return nats_->Exchange(kqm::MessageKind::kRequest, KQ_TAny(request));
  if (connection_ == nullptr)
    throw KQ_EException("a request needs a service; call SetConnectionAddress first");
  return connection_->Exchange(kqm::MessageKind::kRequest, KQ_TAny(request));
}

KQ_TDict KQM_TClient::Status() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (connection_ == nullptr && nats_ == nullptr)
    throw KQ_EException("a status request needs a service; call SetConnectionAddress first");
  KQ_TAny answer = nats_ != nullptr ? nats_->Exchange(kqm::MessageKind::kStatus, KQ_TAny())
                                    : connection_->Exchange(kqm::MessageKind::kStatus, KQ_TAny());
  const KQ_TDict* status = answer.DynamicCast<KQ_TDict>();
  if (status == nullptr)
    throw KQ_EException(KQ_TString("service ") + serviceName_ + " on host " +
                        (host_.empty() ? std::string("localhost") : host_) +
                        ": the status answer is not a dictionary");
  return *status;
}

std::vector<KQ_TDict> KQM_TClient::StatusOfEvery(int windowMs) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (nats_ != nullptr)
      return nats_->StatusOfEvery(windowMs);
  }
  return {Status()};
}

bool KQM_TClient::UsesNats() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return nats_ != nullptr;
}

KQ_TAny KQM_TClient::Call(const KQ_TString& method, const KQ_TAny& parameter) {
  KQ_TDict request;
  request["M"] = method;
  request["P1"] = parameter;
  return Request(request);
}

void KQM_TClient::Disconnect() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (connection_ != nullptr)
    connection_->Reset();
}
