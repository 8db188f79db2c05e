#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/kqmware/kqm_server.h"
#include "server/process_entry.h"
#include "server/server_settings.h"
#include "server/vt_process_server.h"
#include "tests/support/server_environment.h"

namespace {

std::vector<std::string> calls;
bool middlewareResult = true;
bool typesResult = true;

bool FakeMiddleware() {
  calls.push_back("KQMWare");
  return middlewareResult;
}

bool FakeTypes() {
  calls.push_back("kqtypes");
  return typesResult;
}

TEST(InitializeLibrariesOnce, MiddlewareFirstThenTypesThenNeverAgain) {
  bool initialized = false;
  calls.clear();
  middlewareResult = typesResult = true;
  EXPECT_TRUE(InitializeLibrariesOnce(initialized, &FakeMiddleware, &FakeTypes));
  EXPECT_TRUE(InitializeLibrariesOnce(initialized, &FakeMiddleware, &FakeTypes));
  EXPECT_EQ(calls, (std::vector<std::string>{"KQMWare", "kqtypes"}));
  EXPECT_TRUE(initialized);
}

TEST(InitializeLibrariesOnce, FailuresLeaveTheFlagFalseAndAreRetried) {
  bool initialized = false;
  calls.clear();
  middlewareResult = false;
  EXPECT_FALSE(InitializeLibrariesOnce(initialized, &FakeMiddleware, &FakeTypes));
  EXPECT_EQ(calls, (std::vector<std::string>{"KQMWare"}));  // types not tried
  middlewareResult = true;
  typesResult = false;
  EXPECT_FALSE(InitializeLibrariesOnce(initialized, &FakeMiddleware, &FakeTypes));
  EXPECT_FALSE(initialized);
  typesResult = true;
  EXPECT_TRUE(InitializeLibrariesOnce(initialized, &FakeMiddleware, &FakeTypes));
  EXPECT_EQ(calls,
            (std::vector<std::string>{"KQMWare", "KQMWare", "kqtypes", "KQMWare", "kqtypes"}));
}

TEST(InitializationFunction, IsTheProgramsOwn) {
  EXPECT_TRUE(__KQ_INITIALIZATION_FUNCTION_VantricProcessServer__());
  EXPECT_TRUE(__KQ_INITIALIZATION_FUNCTION_VantricProcessServer__());
}

// Tells whether the server was already destroyed when the "stopped:" line was flushed.
bool serverDestroyed = false;

class OrderCheckingBuffer : public std::stringbuf {
 public:
  bool destroyedAtFlush = false;

 protected:
  int sync() override {
    destroyedAtFlush = serverDestroyed;
    return std::stringbuf::sync();
  }
};

// Servers whose event loop ends in the ways the entry must handle. EventLoop is not
// virtual; ServeProcess calls it on the type it is given.
class StoppedServer : public VTProcessServer {
 public:
  explicit StoppedServer(const ServerSettings& settings) : VTProcessServer(settings) {
    serverDestroyed = false;
  }
  ~StoppedServer() override { serverDestroyed = true; }
  void EventLoop(int) { loopRan = true; }
  // Records whether Close came after the event loop.
  void Close() { closed = loopRan; }
  static inline bool closed = false;
  bool loopRan = false;
};

class FailingLoopServer : public StoppedServer {
 public:
  using StoppedServer::StoppedServer;
  void EventLoop(int) { throw std::runtime_error("the loop broke"); }
};

class KqFailingLoopServer : public StoppedServer {
 public:
  using StoppedServer::StoppedServer;
  void EventLoop(int) { throw KQ_EException("the loop failed"); }
};

TEST(ServeProcess, NormalEndClosesDestroysAndGivesZero) {
  vtps_test::ServerEnvironment environment;
  std::ostringstream errors;
  StoppedServer::closed = false;
  EXPECT_EQ(ServeProcess<StoppedServer>(errors, &ServerSettings::OfProgram), 0);
  EXPECT_TRUE(StoppedServer::closed);
  EXPECT_TRUE(serverDestroyed);
  EXPECT_EQ(errors.str(), "");
  EXPECT_NE(environment.Log().find(" 1 Receiving Destructor call\n"), std::string::npos);
}

TEST(ServeProcess, StandardExceptionFromTheLoopGivesTwoAfterTheDestructor) {
  vtps_test::ServerEnvironment environment;
  OrderCheckingBuffer buffer;
  std::ostream errors(&buffer);
  EXPECT_EQ(ServeProcess<FailingLoopServer>(errors, &ServerSettings::OfProgram), 2);
  EXPECT_EQ(buffer.str(), "VantricProcessServer stopped:the loop broke\n");
  EXPECT_TRUE(buffer.destroyedAtFlush);
  EXPECT_NE(environment.Log().find("Receiving Destructor call"), std::string::npos);
}

TEST(ServeProcess, KqExceptionFromTheLoopGivesOne) {
  vtps_test::ServerEnvironment environment;
  OrderCheckingBuffer buffer;
  std::ostream errors(&buffer);
  EXPECT_EQ(ServeProcess<KqFailingLoopServer>(errors, &ServerSettings::OfProgram), 1);
  EXPECT_EQ(buffer.str().rfind("VantricProcessServer stopped:KQ_EException: the loop failed", 0),
            0u)
      << buffer.str();
  EXPECT_TRUE(buffer.destroyedAtFlush);
}

TEST(ServeProcess, BindFailureGivesOneWithoutDestructorLine) {
  vtps_test::ServerEnvironment environment;
  KQM_TServer squatter;
  squatter.Bind("Squatter", environment.ServerPort(), 0, false);
  std::ostringstream errors;
  EXPECT_EQ(ServeProcess<VTProcessServer>(errors, &ServerSettings::OfProgram), 1);
  EXPECT_EQ(errors.str().rfind("VantricProcessServer stopped:KQ_EException: cannot bind", 0), 0u)
      << errors.str();
  EXPECT_NE(errors.str().find("port " + std::to_string(environment.ServerPort())),
            std::string::npos);
  std::string log = environment.Log();
  EXPECT_NE(log.find(" 1 Receiving Constructor call\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("Receiving Destructor call"), std::string::npos) << log;
}

// A setting the reading refuses stops the program as a failed start does, before any server
// is made.
TEST(ServeProcess, UnusableSettingGivesOneWithoutAServer) {
  vtps_test::ServerEnvironment environment;
  std::ostringstream errors;
  auto refuse = []() -> ServerSettings {
    throw KQ_EException("VTPS_PROCESSOR_TIME_LIMIT is \"soon\": expected a whole number");
  };
  EXPECT_EQ(ServeProcess<VTProcessServer>(errors, refuse), 1);
  EXPECT_EQ(errors.str().rfind(
                "VantricProcessServer stopped:KQ_EException: VTPS_PROCESSOR_TIME_LIMIT is", 0),
            0u)
      << errors.str();
  EXPECT_EQ(environment.Log().find("Receiving Constructor call"), std::string::npos);
}

}  // namespace
