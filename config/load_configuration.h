// The server's configuration load: reads its settings once, at start-up, from the
// configuration service "NTR", below "Servers/VantricProcessServer/Configuration/":
// ProgPathEnvVar (a KQ_TString), ProgramDirectory (a KQ_TString), WorkingDirectory (a
// KQ_TURL), and one processor per listed name that does not contain "Directory" (a
// KQ_TString each).
//
// The load reads through ConfigurationSource, the two reads it makes of the service, so that
// its rules are tested against a table; LoadServerConfiguration gives it the service itself.
//
// Runs on the thread that constructs the server, before it serves; takes no lock.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "platform/kqmware/debug_channel.h"
#include "platform/kqmware/options.h"
#include "platform/kqtypes/kq_any.h"
#include "platform/kqtypes/kq_string.h"
#include "platform/kqtypes/kq_url.h"

// What the load reads of the configuration service. Each read throws what the service's
// reply throws (NTR_EValueNotSet for a key without a value, KQ_EException when the service
// cannot be reached).
class ConfigurationSource {
 public:
  virtual ~ConfigurationSource() = default;
  // The value of `key`.
  virtual KQ_TAny Get(const KQ_TString& key) = 0;
  // The names directly in the folder `folderKey` (a KQ_TList from the service).
  virtual KQ_TAny KeysAt(const KQ_TString& folderKey) = 0;
};

// The fields the load fills; borrowed for the call.
struct ConfigurationFields {
  KQ_TString& progPathEnvVar;
  KQ_TString& programDirectory;
  KQ_TURL& workingDirectory;
  std::map<KQ_TString, KQ_TString>& processors;
};

// Fills `fields` from `source` and logs its failures through `debug`:
// - ProgPathEnvVar that cannot be read, or is not a string, leaves progPathEnvVar empty;
// - ProgramDirectory or WorkingDirectory that cannot be read, or is of another class, logs
//   "VantricProcessServer Exception when retrieving ProgramDirectory from NTR." (or
//   "... WorkingDirectory ...") at level 0 and returns false, reading nothing more;
// - a folder that is not a KQ_TTree, or a listing that is not a KQ_TList, loads no
//   processors; listed names and processor values that are not strings are skipped.
// Returns true when it ran to its end. Exceptions from addressing the service, reading the
// folder, the listing and the processors leave the call; processors stored before stay.
bool LoadServerConfiguration(const DebugChannel& debug, ConfigurationSource& source,
                             const ConfigurationFields& fields);

// How the service "NTR" is reached: with `client`, on the server's host name, or on
// `configurationHost` (KQ_SERVER) when that is empty (see NTR_TProxy::ChooseHost).
struct ConfigurationService {
  kqm::ClientOptions client;
  std::optional<std::string> configurationHost;
};

// The same from the service "NTR" on `hostName`, reached as `service` says; throws
// KQ_EException when the service cannot be addressed.
bool LoadServerConfiguration(const DebugChannel& debug, const char* hostName,
                             const ConfigurationService& service,
                             const ConfigurationFields& fields);
