#include "config/load_configuration.h"

#include <string>

#include "config/NTR/Server/ntr_tproxy.h"
#include "platform/kqtypes/kq_iterator.h"
#include "platform/kqtypes/kq_list.h"
#include "platform/kqtypes/kq_tree.h"

namespace {

const char* const kFolder = "Servers/VantricProcessServer/Configuration/";

// The reply as a T; throws KQ_EException naming the key when it is of another class, so that
// a wrong class fails like an unreadable key.
template <class T>
const T& Expect(const KQ_TAny& reply, const KQ_TString& key) {
  const T* value = reply.DynamicCast<T>();
  if (value == nullptr) {
    throw KQ_EException(key + " holds a " + (reply.IsNull() ? "null" : reply.ClassName()) +
                        ", not a " + T::KQ_ClassName);
  }
  return *value;
}

// Sets `field` to the setting `name` of `folder`; false, with the level-0 line that names
// the setting, when it cannot be read or is not a T.
template <class T>
bool ReadRequired(const DebugChannel& debug, ConfigurationSource& source, const KQ_TString& folder,
                  const char* name, T& field) {
  try {
    KQ_TString key = folder + name;
    field = Expect<T>(source.Get(key), key);
    return true;
  } catch (...) {
    debug.DBG_Type(
        0, std::string("VantricProcessServer Exception when retrieving ") + name + " from NTR.");
    return false;
  }
}

// The service itself as the source.
class ProxySource : public ConfigurationSource {
 public:
  explicit ProxySource(NTR_TProxy& proxy) : proxy_(proxy) {}
  KQ_TAny Get(const KQ_TString& key) override { return proxy_.Get(key); }
  KQ_TAny KeysAt(const KQ_TString& folderKey) override { return proxy_.KeysAt(folderKey); }

 private:
  NTR_TProxy& proxy_;
};

}  // namespace

bool LoadServerConfiguration(const DebugChannel& debug, const char* hostName,
                             const ConfigurationService& service,
                             const ConfigurationFields& fields) {
  NTR_TProxy proxy(service.client);
  proxy.Connect(hostName, service.configurationHost);
  ProxySource source(proxy);
  return LoadServerConfiguration(debug, source, fields);
}

bool LoadServerConfiguration(const DebugChannel& debug, ConfigurationSource& source,
                             const ConfigurationFields& fields) {
  KQ_TString folder(kFolder);

  try {
    KQ_TString key = folder + "ProgPathEnvVar";
    fields.progPathEnvVar = Expect<KQ_TString>(source.Get(key), key);
  } catch (...) {
    fields.progPathEnvVar = KQ_TString("");
  }

  if (!ReadRequired(debug, source, folder, "ProgramDirectory", fields.programDirectory) ||
      !ReadRequired(debug, source, folder, "WorkingDirectory", fields.workingDirectory))
    return false;

  KQ_TAny folderValue = source.Get(folder);
  if (folderValue.Get() == nullptr || folderValue.Get()->KQ_Cast(KQ_TTree::KQ_ClassName) == nullptr)
    return true;

  KQ_TAny listing = source.KeysAt(folder);
  const KQ_TList* names = listing.DynamicCast<KQ_TList>();
  if (names == nullptr)
    return true;
  for (KQ_TConstIterator it(*names); !it.IsDone(); it.Next()) {
    const KQ_TString* name = it.Value().DynamicCast<KQ_TString>();
    if (name == nullptr || name->Find("Directory", 0) != -1)
      continue;
    KQ_TAny program = source.Get(folder + *name);
    if (const KQ_TString* file = program.DynamicCast<KQ_TString>())
      fields.processors[*name] = *file;
  }
  return true;
}
