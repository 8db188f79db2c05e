#include "config/NTR/Server/ntr_tproxy.h"

#include "platform/kqtypes/kq_dict.h"

NTR_TProxy::NTR_TProxy() {
  RegisterNtrExceptions();
}

NTR_TProxy::NTR_TProxy(const kqm::ClientOptions& options) : KQM_TClient(options) {
  RegisterNtrExceptions();
}

KQ_TString NTR_TProxy::ChooseHost(const char* ownerHost,
                                  const std::optional<std::string>& configurationHost) {
  if (ownerHost != nullptr && *ownerHost != '\0')
    return KQ_TString(ownerHost);
  if (configurationHost)
    return KQ_TString(*configurationHost);
  return KQ_TString("");
}

void NTR_TProxy::Connect(const char* ownerHost,
                         const std::optional<std::string>& configurationHost) {
  SetConnectionAddress(ChooseHost(ownerHost, configurationHost), KQ_TString("NTR"), 0,
                       static_cast<TLocationMode>(0));
}

KQ_TAny NTR_TProxy::Get(const KQ_TString& key) {
  KQ_TDict request;
  request["M"] = "[]";
  request["P1"] = key;
  request["P2"] = false;
  return Request(request);
}

KQ_TAny NTR_TProxy::KeysAt(const KQ_TString& folderKey) {
  return Call(KQ_TString("KeysAt"), KQ_TAny(folderKey));
}
