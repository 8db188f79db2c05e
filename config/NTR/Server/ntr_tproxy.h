// NTR_TProxy, the client side of the configuration service "NTR": reads the value of a key
// ("[]") and lists the names in a folder ("KeysAt"). Keys are "/"-separated paths; a folder
// key ends in "/".
//
// Every read is one request; nothing is cached. The service's exceptions arrive as their
// own classes (NTR_EValueNotSet for a key without a value). The proxy owns its connection;
// use it from one thread.
#pragma once

#include <optional>
#include <string>

#include "config/NTR/ntr_exceptions.h"
#include "platform/kqmware/kqm_client.h"
#include "platform/kqtypes/kq_any.h"
#include "platform/kqtypes/kq_string.h"

class NTR_TProxy : public KQM_TClient {
 public:
  // Makes sure replies can re-create the service's exception classes. The proxy reaches the
  // service with `options`, or without them with the program's (see KQM_TClient).
  NTR_TProxy();
  explicit NTR_TProxy(const kqm::ClientOptions& options);

  // The host the proxy talks to: `ownerHost` when it is not empty, else `configurationHost`
  // (KQ_SERVER, read when the program starts) when that is set, else "".
  static KQ_TString ChooseHost(const char* ownerHost,
                               const std::optional<std::string>& configurationHost);

  // Aims the proxy at "NTR" on ChooseHost(ownerHost, configurationHost), port 0 (the service
  // directory's), connecting on the first request. Throws KQ_EException when "NTR" has no
  // port.
  void Connect(const char* ownerHost, const std::optional<std::string>& configurationHost);

  // The value of `key`, sent exactly as given: {"M": "[]", "P1": key, "P2": false}. Throws
  // what the request throws (NTR_EValueNotSet for a key without a value, KQ_EException when
  // the service cannot be reached).
  KQ_TAny Get(const KQ_TString& key);

  // The service's "KeysAt" answer for `folderKey` (a KQ_TList of names); throws as Get.
  KQ_TAny KeysAt(const KQ_TString& folderKey);
};
