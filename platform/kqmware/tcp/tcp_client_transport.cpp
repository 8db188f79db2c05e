// The client side of direct TCP (see tcp_client_transport.h).
#include "platform/kqmware/tcp/tcp_client_transport.h"

#include <utility>  // Boost 1.74 Asio uses std::exchange without including it

#include <boost/asio.hpp>
#include <chrono>
#include <string_view>
#include <vector>

#include "platform/kqmware/client_transport.h"
#include "platform/kqmware/kqm_ebusy.h"
#include "platform/kqmware/service_directory.h"
#include "platform/kqmware/wire.h"
#include "platform/kqtypes/equals_ignoring_case.h"
#include "platform/kqtypes/kq_exception.h"
#include "platform/os/os.h"

namespace kqm {

namespace asio = boost::asio;
using asio::ip::tcp;

namespace {

bool IsThisMachine(const std::string& host) {
  if (host.empty() || kq_text::EqualsIgnoringCase(host, "localhost") || host == "127.0.0.1" ||
      host == "::1")
    return true;
  char own[256];
  os::ReadHostName(os::NativeHostNameCalls(), own, sizeof own);
  return kq_text::EqualsIgnoringCase(host, own);
}

// One connection to the service, with its own io_context; every wait has a deadline.
class TcpClientTransport : public ClientTransport {
 public:
  TcpClientTransport(std::string host, std::string serviceName, std::uint16_t port,
                     const ClientOptions& options)
      : host_(std::move(host)),
        serviceName_(std::move(serviceName)),
        port_(port),
        socket_(io_),
        connectTimeoutMs_(options.connectTimeoutMs),
        requestTimeoutMs_(options.requestTimeoutMs),
        maxFrame_(options.maxFrameBytes) {}

  void Connect() override {
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
  KQ_TAny Exchange(MessageKind kind, const KQ_TAny& value) override {
    if (socket_.is_open() && ClosedByService())
      Reset();
    Connect();
    std::uint64_t id = nextId_++;
    std::string frame = EncodeFrame(kind, id, value);
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

    Message reply;
    try {
      reply = DecodePayload(payload);
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
        (reply.kind != MessageKind::kAnswer && reply.kind != MessageKind::kException)) {
      Reset();
      throw Failure("the answer does not belong to the request");
    }
    if (closing_)
      Reset();
    if (reply.kind == MessageKind::kAnswer)
      return std::move(reply.value);
    RaiseRemote(reply.value);
  }

  // The one server's status, waited for within the request timeout.
  std::vector<KQ_TDict> StatusOfEvery(int) override {
    KQ_TAny answer = Exchange(MessageKind::kStatus, KQ_TAny());
    const KQ_TDict* status = answer.DynamicCast<KQ_TDict>();
    // Worded as KQM_TClient::Status words it: the two ask the same server the same thing.
    if (status == nullptr)
      throw KQ_EException(KQ_TString("service ") + serviceName_ + " on host " + ShownHost() +
                          ": the status answer is not a dictionary");
    return {*status};
  }
  StatusScope StatusReach() const override { return StatusScope::kOneServer; }

  void Disconnect() override { Reset(); }
  std::optional<std::uint16_t> Port() const override { return port_; }

 private:
  void Reset() {
    boost::system::error_code ignored;
    socket_.close(ignored);
    // Let the handlers of aborted operations run before the next use.
    io_.restart();
    io_.run();
  }

  // The host as messages name it.
  std::string ShownHost() const { return host_.empty() ? "localhost" : host_; }

  // Whether `message` is a notice: an exception with request id 0 (no request has that id),
  // which a service sends as it closes a connection it will not read from again, such as
  // KQM_EBusy for a connection past its limit or one closed as idle.
  static bool IsNotice(const Message& message) {
    return message.id == 0 && message.kind == MessageKind::kException;
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
    while (!error && frames_.Check() == FrameReader::State::kNeedMore) {
      std::span<char> room = frames_.Prepare();
      frames_.Commit(socket_.read_some(asio::buffer(room.data(), room.size()), error));
    }
    if (frames_.Check() != FrameReader::State::kReady)
      return;
    Message notice;
    try {
      notice = DecodePayload(frames_.Payload());
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
        case FrameReader::State::kNeedMore:
          ReadSome(deadline);
          continue;
        case FrameReader::State::kTooLarge:
          Reset();
          throw Failure("the answer of " + std::to_string(frames_.AnnouncedLength()) +
                        " bytes exceeds the limit of " + std::to_string(maxFrame_) +
                        " bytes (KQM_MAX_FRAME_BYTES)");
        case FrameReader::State::kReady:
          break;
      }
      // A service sends nothing unasked but a notice as it closes a connection (one closed
      // as idle right after its answer was read late): the answer stands, and the next
      // request connects again.
      closing_ = frames_.Buffered() > kFrameHeaderBytes + frames_.AnnouncedLength();
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
  FrameReader frames_{maxFrame_};  // the answer being read
  bool closing_ = false;           // more than the answer came: the service is closing
};
}  // namespace

std::unique_ptr<ClientTransport> MakeTcpClientTransport(const std::string& host,
                                                        const std::string& service,
                                                        std::uint16_t port,
                                                        const ClientOptions& options) {
  return std::make_unique<TcpClientTransport>(
      host, service, port != 0 ? port : options.services.Port(service), options);
}

}  // namespace kqm
