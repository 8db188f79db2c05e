// ntr-server FILE.xml: serves the configuration service "NTR" from an XML file, answering
// "[]" (the value of a key) and "KeysAt" (the names in a folder). The file is read once at
// start; a file that cannot be read or parsed ends the program with exit code 1.
#include <iostream>

#include "config/NTR/ntr_exceptions.h"
#include "platform/kqmware/kqmware.h"
#include "platform/kqtypes/kqtypes.h"
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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: ntr-server FILE.xml" << std::endl;
    return 2;
  }
  __KQ_INITIALIZATION_FUNCTION_KQMWare__();
  RegisterNtrExceptions();
  try {
    ConfigStore store = ConfigStore::FromFile(argv[1]);
    KQM_TServer server;
    server.Bind("NTR", 0, 0, false);
    server.SetProcessor(&Serve, &store);
    server.EventLoop(-1);
    server.Close();
  } catch (const std::exception& error) {
    std::cerr << "ntr-server: " << error.what() << std::endl;
    return 1;
  } catch (const KQ_EException& error) {
    std::cerr << "ntr-server: ";
    error.PrintOn(std::cerr);
    std::cerr << std::endl;
    return 1;
  }
  return 0;
}
