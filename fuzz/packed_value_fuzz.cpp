// libFuzzer target: any bytes given to the packed-value decoder either decode or throw
// KQ_EException; a decoded value packs again to bytes that decode to an equal value, and
// packing that value once more gives the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/kqtypes/kqtypes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static bool ready = __KQ_INITIALIZATION_FUNCTION_kqtypes__();
  (void)ready;
  KQ_TAny value;
  try {
    value = KQ_FromBytes(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const KQ_EException&) {
    return 0;
  }
  std::string packed = KQ_ToBytes(value);
  KQ_TAny again = KQ_FromBytes(packed);
  if (!(again == value) || KQ_ToBytes(again) != packed)
    std::abort();
  return 0;
}
