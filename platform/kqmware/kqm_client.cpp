#include "platform/kqmware/kqm_client.h"

#include <utility>  // Boost 1.74 Asio uses std::exchange without including it

#include <boost/asio.hpp>
#include <cctype>
#include <chrono>
#include <string_view>
#include <vector>

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
  KQ_TAny Exchange(kqm::MessageKind kind, const KQ_TAny& value) {
    Connect();
    std::uint64_t id = nextId_++;
    std::string frame = kqm::EncodeFrame(kind, id, value);
    auto deadline = requestTimeoutMs_ > 0 ? std::chrono::steady_clock::now() +
                                                std::chrono::milliseconds(requestTimeoutMs_)
                                          : std::chrono::steady_clock::time_point::max();
    Transfer(
        [&](boost::system::error_code& error) { asio::write(socket_, asio::buffer(frame), error); },
        [&](auto handler) { asio::async_write(socket_, asio::buffer(frame), handler); }, deadline,
        "sending the request");
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
    if (reply.id != id ||
        (reply.kind != kqm::MessageKind::kAnswer && reply.kind != kqm::MessageKind::kException)) {
      Reset();
      throw Failure("the answer does not belong to the request");
    }
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
  // asynchronously with the deadline. Throws naming `what` on failure or timeout.
  template <class Sync, class Async>
  void Transfer(Sync sync, Async async, std::chrono::steady_clock::time_point deadline,
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
    if (result) {
      Reset();
      throw Failure(std::string(what) + ": " +
                    (result == asio::error::eof ? std::string("the service closed the connection")
                                                : result.message()));
    }
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
      if (frames_.Buffered() > kqm::kFrameHeaderBytes + frames_.AnnouncedLength()) {
        Reset();
        throw Failure("the service sent more than its answer");
      }
      return frames_.Payload();
    }
  }

  // Reads more of the answer, at least one byte.
  void ReadSome(std::chrono::steady_clock::time_point deadline) {
    std::span<char> room = frames_.Prepare();
    auto space = asio::buffer(room.data(), room.size());
    std::size_t count = 0;
    Transfer([&](boost::system::error_code& error) { count = socket_.read_some(space, error); },
             [&](auto handler) {
               socket_.async_read_some(space, [&count, handler](boost::system::error_code error,
                                                                std::size_t n) mutable {
                 count = n;
                 handler(error, n);
               });
             },
             deadline, "waiting for the answer");
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
};

KQM_TClient::KQM_TClient() = default;

KQM_TClient::~KQM_TClient() = default;

void KQM_TClient::SetConnectionAddress(const KQ_TString& host, const KQ_TString& serviceName,
                                       std::uint16_t port, TLocationMode mode) {
  std::uint16_t usedPort = port != 0 ? port : kqm::ServicePort(serviceName.Text());
  auto connection = std::make_unique<Connection>(host.Text(), serviceName.Text(), usedPort);
  if (mode == kConnectNow)
    connection->Connect();
  std::lock_guard<std::mutex> lock(mutex_);
  host_ = host.Text();
  serviceName_ = serviceName.Text();
  port_ = usedPort;
  connection_ = std::move(connection);
}

KQ_TAny KQM_TClient::Request(const KQ_TDict& request) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (connection_ == nullptr)
    throw KQ_EException("a request needs a service; call SetConnectionAddress first");
  return connection_->Exchange(kqm::MessageKind::kRequest, KQ_TAny(request));
}

KQ_TDict KQM_TClient::Status() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (connection_ == nullptr)
    throw KQ_EException("a status request needs a service; call SetConnectionAddress first");
  KQ_TAny answer = connection_->Exchange(kqm::MessageKind::kStatus, KQ_TAny());
  const KQ_TDict* status = answer.DynamicCast<KQ_TDict>();
  if (status == nullptr)
    throw KQ_EException(KQ_TString("service ") + serviceName_ + " on host " +
                        (host_.empty() ? std::string("localhost") : host_) +
                        ": the status answer is not a dictionary");
  return *status;
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
