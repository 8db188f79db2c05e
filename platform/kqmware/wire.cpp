#include "platform/kqmware/wire.h"

#include "platform/kqtypes/kq_binary.h"
#include "platform/kqtypes/kq_exception.h"

namespace kqm {

std::string EncodeFrame(MessageKind kind, std::uint64_t id, const KQ_TAny& value) {
  std::string header(kFrameHeaderBytes + kMessageHeaderBytes, '\0');
  header[kFrameHeaderBytes] = static_cast<char>(kind);
  for (int i = 0; i < 8; ++i)
    header[kFrameHeaderBytes + 1 + i] = static_cast<char>((id >> (56 - 8 * i)) & 0xFF);
  KQ_TBinaryPacker packer(std::move(header));
  packer.PackValue(value);
  std::string frame = packer.TakeBytes();
  std::size_t length = frame.size() - kFrameHeaderBytes;
  if (length > 0xFFFFFFFFu)
    throw KQ_EException("a message is too large for one frame");
  for (int i = 0; i < 4; ++i)
    frame[i] = static_cast<char>((length >> (24 - 8 * i)) & 0xFF);
  return frame;
}

std::uint32_t FrameLength(const unsigned char* header) {
  return (static_cast<std::uint32_t>(header[0]) << 24) |
         (static_cast<std::uint32_t>(header[1]) << 16) |
         (static_cast<std::uint32_t>(header[2]) << 8) | static_cast<std::uint32_t>(header[3]);
}

Message DecodePayload(std::string_view payload) {
  if (payload.size() < kMessageHeaderBytes)
    throw KQ_EException("a message of " + std::to_string(payload.size()) +
                        " bytes is shorter than its header");
  auto kind = static_cast<std::uint8_t>(payload[0]);
  if (kind < 1 || kind > 3)
    throw KQ_EException("unknown message kind " + std::to_string(kind));
  Message message;
  message.kind = static_cast<MessageKind>(kind);
  for (int i = 1; i <= 8; ++i)
    message.id =
        (message.id << 8) | static_cast<std::uint8_t>(payload[static_cast<std::size_t>(i)]);
  message.value = KQ_FromBytes(payload.substr(kMessageHeaderBytes));
  return message;
}

}  // namespace kqm
