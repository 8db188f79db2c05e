#include "server/vt_process_server.h"

#include <chrono>
#include <cstring>
#include <new>

#include "config/load_configuration.h"
#include "jobs/job_file.h"
#include "platform/os/os.h"
#include "platform/os/service_manager.h"

namespace {

KQ_TObject* MakeServer() {
  return new (std::nothrow) VTProcessServer();
}

}  // namespace

VTProcessServer::VTProcessServer() : VTProcessServer(ServerSettings::OfProgram()) {}

VTProcessServer::VTProcessServer(const ServerSettings& settings)
    : KQM_TServer(settings.debugLevel), settings_(settings) {
  os::ReportStarting("binding the service", std::chrono::seconds(30));
  Initialize();
  // Each request to the configuration service may wait for its connection
  // (KQM_CONNECT_TIMEOUT_MS); the load makes a handful.
  os::ReportStarting("loading the configuration from NTR", std::chrono::seconds(60));
  LoadConfiguration();
}

VTProcessServer::~VTProcessServer() {
  DBG_Type(1, "Receiving Destructor call");
}

void VTProcessServer::Initialize() {
  DBG_Type(1, "Receiving Constructor call");
  Bind(kServiceName, 0, 0, false, settings_.middleware);
  // Starts the sockets layer only to ask for the name; "localhost" when that fails.
  os::ReadHostName(os::NativeHostNameCalls(), hostName, sizeof hostName);
}

bool VTProcessServer::LoadConfiguration() {
  return LoadServerConfiguration(*this, hostName,
                                 {settings_.configurationClient, settings_.configurationHost},
                                 {progPathEnvVar, programDirectory, workingDirectory, processors});
}

KQ_TDict VTProcessServer::Execute(const KQ_TString& method, const KQ_TDict& parameters) {
  ExecuteConfiguration configuration{processors,
                                     progPathEnvVar,
                                     programDirectory,
                                     workingDirectory,
                                     settings_.processorTimeLimitSeconds,
                                     settings_.middleware.maxFrameBytes,
                                     settings_.processorMemoryLimitMiB,
                                     settings_.secretKeys,
                                     {}};
  return ExecuteJob(*this, configuration, method, parameters);
}

std::string VTProcessServer::MakeJobFilePath(const KQ_TString& method) const {
  return ::MakeJobFilePath(workingDirectory, method);
}

void* VTProcessServer::KQ_DynamicInfo(const char* className) const {
  KQ_TClass* record =
      KQ_TClass::GetClassObject(false, KQ_ClassName, sizeof(VTProcessServer),
                                KQM_TServer::KQ_ClassObject(), &MakeServer, nullptr);
  if (className == nullptr) {
    record->Announce();
    return record;
  }
  if (std::strcmp(className, record->Name()) == 0)
    return const_cast<VTProcessServer*>(this);
  return KQM_TServer::KQ_DynamicInfo(className);
}
