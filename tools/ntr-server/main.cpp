// ntr-server FILE.xml: serves the configuration service "NTR" from an XML file, answering
// "[]" (the value of a key) and "KeysAt" (the names in a folder). The file is read once at
// start; a file that cannot be read or parsed ends the program with exit code 1. Started by
// the service control manager (Windows) it runs as that service; under systemd it says
// READY=1 once the file is read and the port bound.
#include <chrono>
#include <iostream>
#include <sstream>

#include "config/NTR/ntr_exceptions.h"
#include "platform/kqmware/debug_log.h"
#include "platform/kqmware/kqmware.h"
#include "platform/kqmware/options.h"
#include "platform/kqmware/program_options.h"
#include "platform/kqmware/settings.h"
#include "platform/kqtypes/kqtypes.h"
#include "platform/os/os.h"
#include "platform/os/service_manager.h"
#include "tools/ntr-server/config_store.h"

namespace {

const KQ_TString& KeyOf(const KQ_TDict& request) {
  const KQ_TString* key = request["P1"].DynamicCast<KQ_TString>();
  if (key == nullptr) {
    NTR_EIllegalPath error(KQ_TString("the key (\"P1\") must be a KQ_TString"), KQ_TAny());
    throw error;
  }
  return *key;
}

void Serve(KQM_TServer& server, const KQ_TDict& request, KQ_TAny& answer, void* user) {
  const auto& store = *static_cast<const ConfigStore*>(user);
  const KQ_TString* method = request["M"].DynamicCast<KQ_TString>();
  if (method != nullptr && *method == "[]") {
    answer = store.Get(KeyOf(request).Text());
  } else if (method != nullptr && *method == "KeysAt") {
    answer = store.KeysAt(KeyOf(request).Text());
  } else {
    throw NTR_EConfigException(KQ_TString("NTR answers \"[]\" and \"KeysAt\", not \"") +
                                   (method == nullptr ? KQ_TString("") : *method) + "\"",
                               KQ_TAny());
  }
  server.DBG_Type(3, KQ_TString("answered ") + *method + " " + KeyOf(request));
}

// Why the program stops: on standard error; when a service manager started it, also in the
// debug log (level 0) and to the service manager, since a service's standard error may reach
// no one.
void ReportStopped(const std::string& reason) {
  std::cerr << "ntr-server: " << reason << std::endl;
  if (!os::Supervised())
    return;
  kqm::DebugLog::Instance().Write(
      kqm::FormatDebugLine(kqm::UtcTimestamp(std::chrono::system_clock::now()), "NTR",
                           os::ProcessId(), os::CurrentThreadId(), 0, "ntr-server: " + reason));
  os::ReportFailure("ntr-server: " + reason);
}

int ServeFile(const char* file) {
  try {
    os::ReportStarting(std::string("reading ") + file, std::chrono::seconds(30));
    ConfigStore store = ConfigStore::FromFile(file);
    os::ReportStarting("binding the service", std::chrono::seconds(30));
    // The middleware's settings, read as the server is made, so that a file that cannot be
    // read is reported before them.
    KQM_TServer server(kqm::InitialDebugLevel());
    server.Bind("NTR", 0, 0, false, kqm::ServerOptions::FromEnvironment());
    server.SetProcessor(&Serve, &store);
    os::ReportReady();
    server.EventLoop(-1);
    server.Close();
  } catch (const std::exception& error) {
    ReportStopped(error.what());
    return 1;
  } catch (const KQ_EException& error) {
    std::ostringstream printed;
    error.PrintOn(printed);
    ReportStopped(printed.str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: ntr-server FILE.xml" << std::endl;
    return 2;
  }
  const char* file = argv[1];
  return os::RunAsService([file] {
    // Inside the service, whose environment is in place by now: the debug log's file first,
    // as the initialisation function opens it; the rest when the server is made.
    kqm::ProgramOptions program;
    program.debugLog = kqm::DebugLogFile();
    kqm::UseProgramOptions(program);
    __KQ_INITIALIZATION_FUNCTION_KQMWare__();
    RegisterNtrExceptions();
    return ServeFile(file);
  });
}
