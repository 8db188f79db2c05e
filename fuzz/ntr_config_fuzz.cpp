// libFuzzer target: any bytes as the ntr-server's configuration file. Parsing either gives
// a store or throws std::runtime_error; every key a store lists can be read back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/kqtypes/kqtypes.h"
#include "tools/ntr-server/config_store.h"

namespace {

// Reads every value below `folder`, as a client browsing the configuration would.
void ReadAll(const ConfigStore& store, const std::string& folder, int depth) {
  KQ_TList keys = store.KeysAt(folder + "/");
  for (std::size_t i = 0; i < keys.Count(); ++i) {
    const KQ_TString* name = keys.At(i).DynamicCast<KQ_TString>();
    if (name == nullptr)
      std::abort();
    std::string key = folder + "/" + name->Text();
    KQ_TAny value = store.Get(key);
    if (value.DynamicCast<KQ_TTree>() != nullptr && depth < 64)
      ReadAll(store, key, depth + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static bool ready = __KQ_INITIALIZATION_FUNCTION_kqtypes__();
  (void)ready;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    ConfigStore store = ConfigStore::FromXml(text, "fuzz.xml");
    ReadAll(store, "", 0);
  } catch (const std::runtime_error&) {
  }
  return 0;
}
