#include <gtest/gtest.h>

#include <utility>  // Boost 1.74 Asio uses std::exchange without including it

#include <atomic>
#include <boost/asio.hpp>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "platform/kqmware/kqm_ebusy.h"
#include "platform/kqmware/kqmware.h"
#include "platform/kqmware/wire.h"
#include "platform/kqtypes/kqtypes.h"
#include "tests/support/test_support.h"

namespace {

namespace asio = boost::asio;
using asio::ip::tcp;

// A service played by the test: it accepts one connection per step, in order, and hands each
// to its step, which reads and writes what the test wants. Records the method of every
// request it reads, so that a test sees what was sent how often.
class ScriptedService {
 public:
  using Step = std::function<void(ScriptedService& service, tcp::socket& socket)>;

  explicit ScriptedService(std::vector<Step> steps)
      : acceptor_(io_, tcp::endpoint(asio::ip::address_v4::loopback(), 0)) {
    done_ = std::async(std::launch::async, [this, steps = std::move(steps)] {
      for (const Step& step : steps) {
        tcp::socket socket(io_);
        acceptor_.accept(socket);
        step(*this, socket);
      }
    });
  }

  // A step still waiting for a connection (a test that failed early) gets one that closes at
  // once, which ends it.
  ~ScriptedService() {
    if (!done_.valid())
      return;
    tcp::socket poke(io_);
    boost::system::error_code ignored;
    poke.connect(acceptor_.local_endpoint(), ignored);
    poke.close(ignored);
    done_.wait();
  }

  std::uint16_t Port() const { return acceptor_.local_endpoint().port(); }

  // Waits for the steps to end and says whether a connection beyond them is waiting.
  bool AnotherConnectionWaits() {
    done_.get();
    acceptor_.non_blocking(true);
    tcp::socket socket(io_);
    boost::system::error_code error;
    acceptor_.accept(socket, error);
    return !error;
  }

  // Reads one request and returns its id; records its method.
  std::uint64_t ReadRequest(tcp::socket& socket) {
    kqm::FrameReader frames(1 << 20);
    while (frames.Check() == kqm::FrameReader::State::kNeedMore) {
      std::span<char> room = frames.Prepare();
      frames.Commit(socket.read_some(asio::buffer(room.data(), room.size())));
    }
    kqm::Message message = kqm::DecodePayload(frames.Payload());
    const KQ_TDict* request = message.value.DynamicCast<KQ_TDict>();
    const KQ_TString* method =
        request == nullptr ? nullptr : (*request)["M"].DynamicCast<KQ_TString>();
    methods.push_back(method == nullptr ? "?" : method->Text());
    return message.id;
  }

  // A step that answers one request with its method and then closes the connection,
  // sending `notice` first (with request id 0) unless it is empty.
  static Step AnswerThenClose(std::string notice) {
    return [notice](ScriptedService& service, tcp::socket& socket) {
      std::uint64_t id = service.ReadRequest(socket);
      asio::write(socket,
                  asio::buffer(kqm::EncodeFrame(kqm::MessageKind::kAnswer, id,
                                                KQ_TAny(KQ_TString(service.methods.back())))));
      if (!notice.empty())
        asio::write(socket, asio::buffer(Notice(notice)));
      socket.shutdown(tcp::socket::shutdown_send);
      ++service.closed;
      // Closed only once the client has seen it closed and connected again, which it does
      // before sending anything more.
      char rest[64];
      boost::system::error_code error;
      socket.read_some(asio::buffer(rest), error);
    };
  }

  static std::string Notice(const std::string& text) {
    return kqm::EncodeFrame(kqm::MessageKind::kException, 0, KQ_TAny(KQM_EBusy(text)));
  }

  std::vector<std::string> methods;  // only on the service's thread until AnotherConnectionWaits
  std::atomic<int> closed{0};        // connections AnswerThenClose has closed

 private:
  asio::io_context io_;
  tcp::acceptor acceptor_;
  std::future<void> done_;
};

class ClientConnection : public ::testing::Test {
 protected:
  void SetUp() override { __KQ_INITIALIZATION_FUNCTION_KQMWare__(); }

  static std::string Call(KQM_TClient& client, const char* method) {
    KQ_TAny answer = client.Call(method, KQ_TAny());
    const KQ_TString* text = answer.DynamicCast<KQ_TString>();
    return text == nullptr ? "(not a text)" : text->Text();
  }
};

TEST_F(ClientConnection, OneTheServiceClosedIsMadeAgainBeforeTheNextRequestLeaves) {
  for (const char* notice : {"", "closed after 300 ms without a request"}) {
    ScriptedService service(
        {ScriptedService::AnswerThenClose(notice), ScriptedService::AnswerThenClose("")});
    KQM_TClient client;
    client.SetConnectionAddress("localhost", "Scripted", service.Port(),
                                KQM_TClient::kConnectOnRequest);
    EXPECT_EQ(Call(client, "First"), "First");
    ASSERT_TRUE(vtps_test::WaitUntil([&] { return service.closed == 1; }));
    EXPECT_EQ(Call(client, "Second"), "Second") << "notice \"" << notice << "\"";
    client.Disconnect();
    EXPECT_FALSE(service.AnotherConnectionWaits());
    EXPECT_EQ(service.methods, (std::vector<std::string>{"First", "Second"}));
  }
}

TEST_F(ClientConnection, AFailureAfterTheRequestLeftIsReportedAndNotRetried) {
  struct Case {
    const char* name;
    ScriptedService::Step step;
    bool busy;             // raised as KQM_EBusy, else as KQ_EException
    const char* expected;  // part of the message
  };
  const Case cases[] = {
      {"closed as idle just as the request came, with a notice",
       [](ScriptedService& service, tcp::socket& socket) {
         service.ReadRequest(socket);
         asio::write(socket, asio::buffer(ScriptedService::Notice("closed as idle")));
       },
       true, "closed as idle"},
      {"refused the connection with a notice before the request came",
       [](ScriptedService&, tcp::socket& socket) {
         asio::write(socket, asio::buffer(ScriptedService::Notice("too many connections: 2 open")));
       },
       true, "too many connections: 2 open"},
      {"closed without an answer after reading the request",
       [](ScriptedService& service, tcp::socket& socket) { service.ReadRequest(socket); }, false,
       "the service closed the connection; the request was not sent again, as the service may "
       "have run it"},
  };
  for (const Case& c : cases) {
    ScriptedService service({c.step});
    KQM_TClient client;
    client.SetConnectionAddress("localhost", "Scripted", service.Port(),
                                KQM_TClient::kConnectOnRequest);
    std::string message;
    bool busy = false;
    try {
      client.Call("Once", KQ_TAny());
      ADD_FAILURE() << c.name << ": answered";
    } catch (const KQM_EBusy& error) {
      busy = true;
      message = error.KQ_Message().Text();
    } catch (const KQ_EException& error) {
      message = error.KQ_Message().Text();
    }
    EXPECT_EQ(busy, c.busy) << c.name << ": " << message;
    EXPECT_NE(message.find(c.expected), std::string::npos) << c.name << ": " << message;
    EXPECT_FALSE(service.AnotherConnectionWaits()) << c.name << ": the request was sent again";
    EXPECT_LE(service.methods.size(), 1u) << c.name;
  }
}

}  // namespace
