// libFuzzer target: any bytes, read as a stream of frames, either give messages or throw
// KQ_EException; a decoded message encodes again to a frame that decodes to the same message.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "platform/kqmware/wire.h"
#include "platform/kqtypes/kqtypes.h"

namespace {

// Frames larger than this are refused as a connection refuses them; keeps memory bounded.
constexpr std::uint32_t kMaxFrameBytes = 1 << 20;

// Takes the next complete payload off the front of `stream`; nothing when the stream holds
// no complete frame or announces a frame larger than kMaxFrameBytes (then `refused` is set).
std::optional<std::string_view> NextPayload(std::string_view& stream, bool& refused) {
  if (stream.size() < kqm::kFrameHeaderBytes)
    return std::nullopt;
  std::uint32_t length = kqm::FrameLength(reinterpret_cast<const unsigned char*>(stream.data()));
  if (length > kMaxFrameBytes) {
    refused = true;
    return std::nullopt;
  }
  if (stream.size() - kqm::kFrameHeaderBytes < length)
    return std::nullopt;
  std::string_view payload = stream.substr(kqm::kFrameHeaderBytes, length);
  stream.remove_prefix(kqm::kFrameHeaderBytes + length);
  return payload;
}

void CheckReencodes(const kqm::Message& message) {
  std::string frame = kqm::EncodeFrame(message.kind, message.id, message.value);
  if (kqm::FrameLength(reinterpret_cast<const unsigned char*>(frame.data())) !=
      frame.size() - kqm::kFrameHeaderBytes)
    std::abort();
  kqm::Message again = kqm::DecodePayload(std::string_view(frame).substr(kqm::kFrameHeaderBytes));
  if (again.kind != message.kind || again.id != message.id || !(again.value == message.value))
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static bool ready = __KQ_INITIALIZATION_FUNCTION_kqtypes__();
  (void)ready;
  std::string_view stream(reinterpret_cast<const char*>(data), size);
  bool refused = false;
  while (std::optional<std::string_view> payload = NextPayload(stream, refused)) {
    kqm::Message message;
    try {
      message = kqm::DecodePayload(*payload);
    } catch (const KQ_EException&) {
      continue;  // a connection drops here; the next frame still tests the decoder
    }
    CheckReencodes(message);
  }
  return 0;
}
