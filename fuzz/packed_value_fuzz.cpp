// libFuzzer target: any bytes given to the packed-value decoder either decode or throw
// KQ_EException; a decoded value packs again to bytes that decode to the same value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/kqtypes/kqtypes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static bool ready = __KQ_INITIALIZATION_FUNCTION_kqtypes__();
  (void)ready;
  try {
    KQ_TAny value = KQ_FromBytes(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!(KQ_FromBytes(KQ_ToBytes(value)) == value))
      std::abort();
  } catch (const KQ_EException&) {
  }
  return 0;
}
