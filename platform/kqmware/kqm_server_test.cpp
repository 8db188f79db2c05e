#include <gtest/gtest.h>

#include <boost/endian/conversion.hpp>

#include <utility>  // Boost 1.74 Asio uses std::exchange without including it

#include <atomic>
#include <boost/asio.hpp>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/kqmware/kqmware.h"
#include "platform/kqmware/wire.h"
#include "platform/kqtypes/kqtypes.h"
#include "platform/kqtypes/test_exceptions.h"
#include "platform/os/os.h"
#include "tests/support/scoped_env.h"
#include "tests/support/test_support.h"

namespace {

namespace asio = boost::asio;
using asio::ip::tcp;

// A bound server whose event loop runs on its own thread for the length of a test.
class RunningServer {
 public:
  explicit RunningServer(KQM_TServer::Processor processor, void* user = nullptr,
                         const kqm::ServerOptions& options = {})
      : port_(vtps_test::FreePort()) {
    server_.Bind("TestService", port_, 0, false, options);
    server_.SetProcessor(processor, user);
    loop_ = std::thread([this] {
      server_.EventLoop(-1);
      returned_ = true;
    });
  }
  ~RunningServer() {
    server_.Shutdown();
    loop_.join();
    server_.Close();
  }

  KQM_TServer& Server() { return server_; }
  std::uint16_t Port() const { return port_; }
  bool LoopReturned() const { return returned_; }
  void JoinLoop() {
    loop_.join();
    loop_ = std::thread([] {});
  }

 private:
  KQM_TServer server_;
  std::uint16_t port_;
  std::atomic<bool> returned_{false};
  std::thread loop_;
};

void Echo(KQM_TServer&, const KQ_TDict& request, KQ_TAny& answer, void*) {
  const KQ_TString* method = request["M"].DynamicCast<KQ_TString>();
  if (method != nullptr && *method == "Fail")
    throw Test_EFailure("asked to fail");
  if (method != nullptr && *method == "Std")
    throw std::runtime_error("a standard failure");
  if (method != nullptr && *method == "Int")
    throw 7;
  if (method != nullptr && *method == "Deep") {
    KQ_TAny value("leaf");
    for (int i = 0; i < kKQ_MaxPackDepth + 10; ++i) {
      KQ_TDict level;
      level["d"] = std::move(value);
      value = KQ_TAny(std::move(level));
    }
    answer = std::move(value);
    return;
  }
  if (method != nullptr && *method == "Big") {
    answer = std::string(2 * 1024 * 1024, 'b');
    return;
  }
  answer = request["P1"];
}

KQ_TAny Call(std::uint16_t port, const KQ_TString& method, const KQ_TAny& parameter) {
  KQM_TClient client;
  client.SetConnectionAddress("localhost", "TestService", port, KQM_TClient::kConnectOnRequest);
  return client.Call(method, parameter);
}

TEST(Middleware, RequestAndAnswer) {
  __KQ_INITIALIZATION_FUNCTION_KQMWare__();
  RunningServer running(&Echo);
  KQ_TDict parameters;
  parameters["file"] = "a.pdf";
  parameters["pages"] = KQ_TArray();
  KQM_TClient client;
  client.SetConnectionAddress("localhost", "TestService", running.Port(), KQM_TClient::kConnectNow);
  for (int i = 0; i < 3; ++i)
    EXPECT_TRUE(client.Call("Echo", parameters) == KQ_TAny(parameters));
  EXPECT_TRUE(client.Call("Echo", KQ_TAny()).IsNull());
}

TEST(Middleware, ExceptionsArriveAsTheirClass) {
  RunningServer running(&Echo);
  Test_EFailure::KQ_ClassObject();
  try {
    Call(running.Port(), "Fail", KQ_TAny());
    ADD_FAILURE() << "no exception";
  } catch (const Test_EFailure& error) {
    EXPECT_EQ(error.KQ_Message().Text(), "asked to fail");
    EXPECT_NE(error.KQ_StackTrace().Text().find("raised by service TestService"),
              std::string::npos);
  }
  for (const char* method : {"Std", "Int"}) {
    try {
      Call(running.Port(), method, KQ_TAny());
      ADD_FAILURE() << "no exception for " << method;
    } catch (const KQ_EException& error) {
      EXPECT_STREQ(error.ClassName(), "KQ_EException");
      EXPECT_FALSE(error.KQ_Message().Empty());
    }
  }
  // The server is still there.
  EXPECT_TRUE(Call(running.Port(), "Echo", "still") == KQ_TAny("still"));
}

// Answers only once `expected` requests are inside the processor at the same time.
struct Rendezvous {
  std::mutex mutex;
  std::condition_variable arrived;
  int inside = 0;
  int expected = 0;
};

void MeetAll(KQM_TServer&, const KQ_TDict&, KQ_TAny& answer, void* user) {
  auto* meeting = static_cast<Rendezvous*>(user);
  std::unique_lock<std::mutex> lock(meeting->mutex);
  ++meeting->inside;
  meeting->arrived.notify_all();
  bool all = meeting->arrived.wait_for(lock, std::chrono::seconds(20),
                                       [&] { return meeting->inside >= meeting->expected; });
  answer = all;
}

TEST(Middleware, RequestsRunAtOnceOnTheWorkers) {
  Rendezvous meeting;
  meeting.expected = 4;  // the default number of workers
  RunningServer running(&MeetAll, &meeting);
  std::vector<std::future<KQ_TAny>> answers;
  for (int i = 0; i < meeting.expected; ++i) {
    answers.push_back(
        std::async(std::launch::async, [&] { return Call(running.Port(), "Meet", KQ_TAny()); }));
  }
  for (auto& answer : answers) {
    KQ_TAny value = answer.get();
    ASSERT_NE(value.DynamicCast<KQ_TBool>(), nullptr);
    EXPECT_TRUE(value.DynamicCast<KQ_TBool>()->Value());
  }
}

// Raw connections for the fault cases.
class RawConnection {
 public:
  explicit RawConnection(std::uint16_t port) : socket_(io_) {
    socket_.connect(tcp::endpoint(asio::ip::address_v4::loopback(), port));
  }
  void Send(const std::string& bytes) { asio::write(socket_, asio::buffer(bytes)); }
  // Whether the server closed the connection (rather than sending something).
  bool ClosedByServer() {
    char byte;
    boost::system::error_code error;
    socket_.read_some(asio::buffer(&byte, 1), error);
    return error == asio::error::eof || error == asio::error::connection_reset;
  }
  void Close() { socket_.close(); }

 private:
  asio::io_context io_;
  tcp::socket socket_;
};

std::string Header(std::uint32_t length) {
  std::string header(4, '\0');
  boost::endian::store_big_u32(reinterpret_cast<unsigned char*>(header.data()), length);
  return header;
}

TEST(Middleware, FaultyConnectionsCloseAndOthersAreServed) {
  RunningServer running(&Echo);
  KQM_TClient steady;
  steady.SetConnectionAddress("localhost", "TestService", running.Port(), KQM_TClient::kConnectNow);

  std::string answerFrame = kqm::EncodeFrame(kqm::MessageKind::kAnswer, 1, KQ_TAny("x"));
  std::string undecodable = Header(12) + std::string("\x01\0\0\0\0\0\0\0\x01\x42zz", 12);
  const std::string faults[] = {
      Header(0x7FFFFFFF),  // over the frame limit
      Header(3) + "abc",   // shorter than a message header
      undecodable,         // garbage value
      answerFrame,         // not a request
  };
  for (const std::string& fault : faults) {
    RawConnection raw(running.Port());
    raw.Send(fault);
    EXPECT_TRUE(raw.ClosedByServer());
    EXPECT_TRUE(steady.Call("Echo", "ok") == KQ_TAny("ok"));
  }
  {
    // A client that goes away halfway through a request.
    RawConnection raw(running.Port());
    std::string frame = kqm::EncodeFrame(kqm::MessageKind::kRequest, 1, KQ_TAny(KQ_TDict()));
    raw.Send(frame.substr(0, frame.size() / 2));
    raw.Close();
  }
  // A value that is not a dictionary gets an exception answer, not a dropped connection.
  {
    RawConnection raw(running.Port());
    raw.Send(kqm::EncodeFrame(kqm::MessageKind::kRequest, 5, KQ_TAny("not a dict")));
    EXPECT_FALSE(raw.ClosedByServer());
  }
  EXPECT_TRUE(steady.Call("Echo", "still ok") == KQ_TAny("still ok"));
}

TEST(Middleware, AnswersOverTheLimitBecomeExceptions) {
  kqm::ServerOptions options;
  options.maxFrameBytes = 1048576;
  auto running = std::make_unique<RunningServer>(&Echo, nullptr, options);
  try {
    Call(running->Port(), "Big", KQ_TAny());
    ADD_FAILURE() << "an answer over the limit was sent";
  } catch (const KQ_EException& error) {
    EXPECT_NE(error.KQ_Message().Text().find("exceeds the frame limit"), std::string::npos);
  }
}

TEST(Middleware, AnswersTooDeepToReadBecomeExceptions) {
  RunningServer running(&Echo);
  try {
    Call(running.Port(), "Deep", KQ_TAny());
    ADD_FAILURE() << "an unreadable answer was sent";
  } catch (const KQ_EException& error) {
    EXPECT_NE(error.KQ_Message().Text().find("the answer cannot be sent"), std::string::npos)
        << error.KQ_Message().Text();
  }
  EXPECT_TRUE(Call(running.Port(), "Echo", "after") == KQ_TAny("after"));
}

TEST(Middleware, BindNamesATakenPort) {
  RunningServer running(&Echo);
  KQM_TServer second;
  try {
    second.Bind("TestService", running.Port(), 0, false);
    ADD_FAILURE() << "a taken port was bound";
  } catch (const KQ_EException& error) {
    EXPECT_NE(error.KQ_Message().Text().find("port " + std::to_string(running.Port())),
              std::string::npos)
        << error.KQ_Message().Text();
  }
  EXPECT_THROW(running.Server().Bind("Again", 0, 0, false), KQ_EException);
}

TEST(Middleware, ClientFailuresNameHostServiceAndCause) {
  std::uint16_t port = vtps_test::FreePort();
  KQM_TClient client;
  client.SetConnectionAddress("localhost", "Nobody", port, KQM_TClient::kConnectOnRequest);
  try {
    client.Call("M", KQ_TAny());
    ADD_FAILURE() << "a request to nobody succeeded";
  } catch (const KQ_EException& error) {
    const std::string& message = error.KQ_Message().Text();
    EXPECT_NE(message.find("service Nobody on host localhost (port " + std::to_string(port)),
              std::string::npos)
        << message;
    EXPECT_NE(message.find("cannot connect"), std::string::npos) << message;
  }
  KQM_TClient unset;
  EXPECT_THROW(unset.Call("M", KQ_TAny()), KQ_EException);
}

// Holds every request until released, so that a stop can come while it is in flight.
struct Gate {
  std::promise<void> entered;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
};

void WaitAtGate(KQM_TServer&, const KQ_TDict&, KQ_TAny& answer, void* user) {
  auto* gate = static_cast<Gate*>(user);
  gate->entered.set_value();
  gate->released.wait();
  answer = "finished";
}

TEST(Middleware, StopFinishesRequestsInFlightThenEventLoopReturns) {
  Gate gate;
  RunningServer running(&WaitAtGate, &gate);
  auto answer =
      std::async(std::launch::async, [&] { return Call(running.Port(), "Slow", KQ_TAny()); });
  gate.entered.get_future().wait();
  running.Server().Shutdown();
  // The answer is still owed, so the loop must not have returned.
  EXPECT_FALSE(running.LoopReturned());
  gate.release.set_value();
  EXPECT_TRUE(answer.get() == KQ_TAny("finished"));
  EXPECT_TRUE(vtps_test::WaitUntil([&] { return running.LoopReturned(); }));
  // No new connections are taken.
  EXPECT_THROW(Call(running.Port(), "Late", KQ_TAny()), KQ_EException);
}

TEST(Middleware, RequestTimeoutEndsTheWait) {
  Gate gate;
  RunningServer running(&WaitAtGate, &gate);
  kqm::ClientOptions options;
  options.requestTimeoutMs = 200;
  KQM_TClient client(options);
  client.SetConnectionAddress("localhost", "TestService", running.Port(),
                              KQM_TClient::kConnectOnRequest);
  try {
    client.Call("Slow", KQ_TAny());
    ADD_FAILURE() << "no timeout";
  } catch (const KQ_EException& error) {
    EXPECT_NE(error.KQ_Message().Text().find("timed out after 200 ms"), std::string::npos)
        << error.KQ_Message().Text();
  }
  gate.release.set_value();
}

TEST(Middleware, ShutdownBeforeEventLoopReturnsAtOnce) {
  KQM_TServer server;
  server.Shutdown();
  server.Bind("TestService", vtps_test::FreePort(), 0, false);
  auto started = std::chrono::steady_clock::now();
  // Returns after 10 s at the latest, stopped or not.
  server.EventLoop(10000);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
  EXPECT_TRUE(server.Status()["stopping"] == KQ_TAny(true));
  server.Close();
  KQM_TServer unbound;
  EXPECT_THROW(unbound.EventLoop(-1), KQ_EException);
}

TEST(Middleware, ServerClassIsRegistered) {
  KQM_TServer server;
  EXPECT_STREQ(server.ClassName(), "KQM_TServer");
  EXPECT_EQ(server.KQ_Cast("KQM_TServer"), static_cast<void*>(&server));
  EXPECT_EQ(server.KQ_Cast("KQ_TObject"), static_cast<void*>(static_cast<KQ_TObject*>(&server)));
  EXPECT_EQ(server.KQ_Cast("KQ_TString"), nullptr);
}

}  // namespace
