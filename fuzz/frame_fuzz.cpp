// libFuzzer target: any bytes, cut into frames by the frame reader, either give messages or throw
// KQ_EException; a decoded message encodes again to a frame that decodes to the same message.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/kqmware/wire.h"
#include "platform/kqtypes/kqtypes.h"

namespace {

// Frames larger than this are refused as a connection refuses them; keeps memory bounded.
constexpr std::uint32_t kMaxFrameBytes = 1 << 20;

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
  // The bytes arrive in pieces, as from a socket; their size follows from the input's
  // length, so the seeds stay whole frames.
  std::size_t piece = 1 + size % 97;
  kqm::FrameReader reader(kMaxFrameBytes);
  for (std::size_t at = 0; at < stream.size(); at += piece) {
    reader.Append(stream.substr(at, piece));
    for (;;) {
      kqm::FrameReader::State state = reader.Check();
      if (state == kqm::FrameReader::State::kTooLarge)
        return 0;  // a connection closes here
      if (state == kqm::FrameReader::State::kNeedMore)
        break;
      kqm::Message message;
      bool decoded = true;
      try {
        message = kqm::DecodePayload(reader.Payload());
      } catch (const KQ_EException&) {
        decoded = false;  // a connection drops here; the next frame still tests the decoder
      }
      reader.Pop();
      if (decoded)
        CheckReencodes(message);
    }
  }
  return 0;
}
