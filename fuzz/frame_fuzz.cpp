// libFuzzer target: any payload given to the middleware's message decoder either decodes or
// throws KQ_EException.
#include <cstddef>
#include <cstdint>

#include "platform/kqmware/wire.h"
#include "platform/kqtypes/kqtypes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static bool ready = __KQ_INITIALIZATION_FUNCTION_kqtypes__();
  (void)ready;
  try {
    kqm::DecodePayload(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const KQ_EException&) {
  }
  return 0;
}
