// The server's configuration load: reads its settings once, at start-up, from the
// configuration service "NTR", below "Servers/VantricProcessServer/Configuration/":
// ProgPathEnvVar (a KQ_TString), ProgramDirectory (a KQ_TString), WorkingDirectory (a
// KQ_TURL), and one processor per listed name that does not contain "Directory" (a
// KQ_TString each).
//
// Runs on the thread that constructs the server, before it serves; takes no lock.
#pragma once

#include <map>

#include "platform/kqmware/debug_channel.h"
#include "platform/kqtypes/kq_string.h"
#include "platform/kqtypes/kq_url.h"

// The fields the load fills; borrowed for the call.
struct ConfigurationFields {
  KQ_TString& progPathEnvVar;
  KQ_TString& programDirectory;
  KQ_TURL& workingDirectory;
  std::map<KQ_TString, KQ_TString>& processors;
};

// Fills `fields` from the service on `hostName` (see NTR_TProxy::ChooseHost) and logs its
// failures through `debug`:
// - ProgPathEnvVar that cannot be read, or is not a string, leaves progPathEnvVar empty;
// - ProgramDirectory or WorkingDirectory that cannot be read, or is of another class, logs
//   "VantricProcessServer Exception when retrieving ProgramDirectory from NTR." (or
//   "... WorkingDirectory ...") at level 0 and returns false, reading nothing more;
// - a folder that is not a KQ_TTree, or a listing that is not a KQ_TList, loads no
//   processors; listed names and processor values that are not strings are skipped.
// Returns true when it ran to its end. Exceptions from addressing the service, reading the
// folder, the listing and the processors leave the call; processors stored before stay.
bool LoadServerConfiguration(const DebugChannel& debug, const char* hostName,
                             const ConfigurationFields& fields);
