// A middleware server for process-level tests: `kqm-test-server PORT` serves "TestService"
// on PORT until a "Stop" request or a stop signal, then exits with 0. When it cannot serve
// (a setting refused, NATS refusing it) it writes the reason to standard error and exits
// with 1.
//   "Echo"  answers P1.
//   "Fail"  raises Test_EFailure with the message in P1.
//   "Meet"  waits until P1 (a number) requests are inside at once; answers whether they were.
//   "Run"   runs the command line in P1 and answers its exit status.
//   "Sleep" waits P1 milliseconds (a number) and answers true.
//   "Stop"  answers true and stops the server.
// `kqm-test-server PORT wedge` serves the same, but its hook for a new connection never
// returns: the first client to connect wedges the strand that accepts connections, takes the
// stop signals and keeps the service manager told, as a hook stuck on a lock would. Only a
// kill ends it then.
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/kqmware/kqmware.h"
#include "platform/kqmware/program_options.h"
#include "platform/kqmware/settings.h"
#include "platform/kqtypes/kqtypes.h"
#include "platform/kqtypes/test_exceptions.h"
#include "platform/os/os.h"

namespace {

std::mutex meetingMutex;
std::condition_variable meetingArrived;
int inside = 0;

void Handle(KQM_TServer& server, const KQ_TDict& request, KQ_TAny& answer, void*) {
  const KQ_TString* method = request["M"].DynamicCast<KQ_TString>();
  if (method == nullptr)
    throw KQ_EException("a request needs a method");
  if (*method == "Echo") {
    answer = request["P1"];
  } else if (*method == "Fail") {
    const KQ_TString* message = request["P1"].DynamicCast<KQ_TString>();
    throw Test_EFailure(message == nullptr ? KQ_TString("failed") : *message);
  } else if (*method == "Meet") {
    const KQ_TInt* expected = request["P1"].DynamicCast<KQ_TInt>();
    std::unique_lock<std::mutex> lock(meetingMutex);
    ++inside;
    meetingArrived.notify_all();
    answer = meetingArrived.wait_for(lock, std::chrono::seconds(20), [&] {
      return expected != nullptr && inside >= expected->Value();
    });
  } else if (*method == "Run") {
    const KQ_TString* line = request["P1"].DynamicCast<KQ_TString>();
    if (line == nullptr)
      throw KQ_EException("Run needs a command line");
    answer = os::RunCommandLine(line->Text());
  } else if (*method == "Sleep") {
    const KQ_TInt* milliseconds = request["P1"].DynamicCast<KQ_TInt>();
    if (milliseconds == nullptr)
      throw KQ_EException("Sleep needs a number of milliseconds");
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds->Value()));
    answer = true;
  } else if (*method == "Stop") {
    answer = true;
    server.Shutdown();
  } else {
    throw KQ_EException(KQ_TString("unknown method ") + *method);
  }
}

class WedgingServer : public KQM_TServer {
 public:
  using KQM_TServer::KQM_TServer;

 protected:
  void ConnectionAdded(const KQM_TSocket&) override {
    std::mutex mutex;
    std::condition_variable never;
    std::unique_lock<std::mutex> lock(mutex);
    never.wait(lock, [] { return false; });
  }
};

}  // namespace

int main(int argc, char** argv) {
  bool wedge = argc == 3 && std::strcmp(argv[2], "wedge") == 0;
  if (argc != 2 && !wedge)
    return 2;
  kqm::ProgramOptions program;
  program.debugLog = kqm::DebugLogFile();
  kqm::UseProgramOptions(program);
  __KQ_INITIALIZATION_FUNCTION_KQMWare__();
  Test_EFailure::KQ_ClassObject();
  try {
    int debugLevel = kqm::InitialDebugLevel();
    std::unique_ptr<KQM_TServer> server = wedge ? std::make_unique<WedgingServer>(debugLevel)
                                                : std::make_unique<KQM_TServer>(debugLevel);
    server->Bind("TestService", static_cast<std::uint16_t>(std::atoi(argv[1])), 0, false,
                 kqm::ServerOptions::FromEnvironment());
    server->SetProcessor(&Handle, nullptr);
    server->EventLoop(-1);
    server->Close();
  } catch (const KQ_EException& error) {
    std::fprintf(stderr, "kqm-test-server: %s\n", error.KQ_Message().Text().c_str());
    return 1;
  }
  return 0;
}
