// VTProcessServer, the one server object of the VantricProcessServer process: a middleware
// server bound as "VantricProcessServer" that also holds what Execute needs, namely the host
// name, the processor program locations, the job files' working directory and the table of
// processors.
//
// Its constructor does the whole start-up with the settings it is given: it logs, binds,
// reads the host name and loads the configuration, telling the service manager each step
// (os::ReportStarting); an exception from binding or from the unguarded part of the
// configuration load leaves it.
// The fields are filled then and only read afterwards, so Execute may run on several threads
// at once without a lock. The object owns its fields.
#pragma once

#include <string>
#include <vector>

#include "jobs/execute.h"
#include "platform/kqmware/kqm_server.h"
#include "platform/kqtypes/kq_dict.h"
#include "platform/kqtypes/kq_string.h"
#include "platform/kqtypes/kq_url.h"
#include "server/server_settings.h"

class VTProcessServer : public KQM_TServer {
 public:
  static constexpr const char* KQ_ClassName = "VTProcessServer";
  static constexpr const char* kServiceName = "VantricProcessServer";

  // Logs "Receiving Constructor call" (level 1), binds, reads the host name, loads the
  // configuration, as `settings` say. Throws KQ_EException when binding fails or the
  // configuration service cannot be addressed, and whatever the unguarded configuration
  // reads throw.
  explicit VTProcessServer(const ServerSettings& settings);
  // With ServerSettings::OfProgram(): the class record's factory makes servers so.
  VTProcessServer();
  // Logs "Receiving Destructor call" (level 1).
  ~VTProcessServer() override;

  // The start-up steps before the configuration load: the constructor line, Bind, the host
  // name. Throws KQ_EException when binding fails.
  void Initialize();
  // Fills progPathEnvVar, programDirectory, workingDirectory and processors from the
  // configuration service; see config/load_configuration.h. Returns false when the program
  // or working directory could not be read.
  bool LoadConfiguration();
  // Carries out one request; see jobs/execute.h.
  KQ_TDict Execute(const KQ_TString& method, const KQ_TDict& parameters);
  // The job file path for `method`; see jobs/job_file.h.
  std::string MakeJobFilePath(const KQ_TString& method) const;

  // KQ_IInterface
  VTProcessServer* KQ_CompleteObject() const override { return const_cast<VTProcessServer*>(this); }
  // The class record of "VTProcessServer" for null (setting its leading flag), this object
  // for "VTProcessServer", and KQM_TServer's answer for any other name.
  void* KQ_DynamicInfo(const char* className) const override;

  // The configuration, in declared order. Filled by the constructor, read-only afterwards.
  char hostName[256] = {};
  KQ_TString progPathEnvVar;
  KQ_TString programDirectory;
  KQ_TURL workingDirectory;
  ProcessorTable processors;

 private:
  // What the server was made with. Execute applies its limits (the middleware's frame limit
  // is also the largest answer file read); the configuration load reaches NTR with its
  // client options.
  const ServerSettings settings_;
};
