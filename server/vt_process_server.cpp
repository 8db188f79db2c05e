#include "server/vt_process_server.h"

#include <chrono>
#include <cstring>
#include <new>

#include "config/load_configuration.h"
#include "jobs/job_file.h"
#include "jobs/job_secrets.h"
#include "platform/kqmware/settings.h"
#include "platform/os/os.h"
#include "platform/os/service_manager.h"

namespace {

// The longest processor time limit accepted: 31 days.
constexpr std::int64_t kMaxProcessorTimeLimitSeconds = 31 * 24 * 3600;
// The largest processor memory limit accepted: 4 TiB.
constexpr std::int64_t kMaxProcessorMemoryLimitMiB = std::int64_t{4} << 20;

KQ_TObject* MakeServer() {
  return new (std::nothrow) VTProcessServer();
}

}  // namespace

VTProcessServer::VTProcessServer() {
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
  processorTimeLimitSeconds_ =
      kqm::ParseNumberSetting("VTPS_PROCESSOR_TIME_LIMIT", os::GetEnv("VTPS_PROCESSOR_TIME_LIMIT"),
                              0, 0, kMaxProcessorTimeLimitSeconds);
  processorMemoryLimitMiB_ = static_cast<std::uint64_t>(kqm::ParseNumberSetting(
      "VTPS_PROCESSOR_MEMORY_LIMIT", os::GetEnv("VTPS_PROCESSOR_MEMORY_LIMIT"), 0, 0,
      kMaxProcessorMemoryLimitMiB));
  secretKeys_ = ParseSecretKeys(os::GetEnv("VTPS_SECRET_KEYS"));
  maxAnswerBytes_ = kqm::MaxFrameBytes();
  Bind(kServiceName, 0, 0, false);
  // Starts the sockets layer only to ask for the name; "localhost" when that fails.
  os::ReadHostName(os::NativeHostNameCalls(), hostName, sizeof hostName);
}

bool VTProcessServer::LoadConfiguration() {
  return LoadServerConfiguration(*this, hostName,
                                 {progPathEnvVar, programDirectory, workingDirectory, processors});
}

KQ_TDict VTProcessServer::Execute(const KQ_TString& method, const KQ_TDict& parameters) {
  ExecuteConfiguration configuration{processors,
                                     progPathEnvVar,
                                     programDirectory,
                                     workingDirectory,
                                     processorTimeLimitSeconds_,
                                     maxAnswerBytes_,
                                     processorMemoryLimitMiB_,
                                     secretKeys_,
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
