#include "platform/kqmware/wire.h"

#include <algorithm>
#include <boost/endian/conversion.hpp>
#include <cstring>

#include "platform/kqtypes/kq_binary.h"
#include "platform/kqtypes/kq_exception.h"

namespace kqm {

std::string EncodeFrame(MessageKind kind, std::uint64_t id, const KQ_TAny& value) {
  std::string header(kFrameHeaderBytes + kMessageHeaderBytes, '\0');
  auto* bytes = reinterpret_cast<unsigned char*>(header.data());
  bytes[kFrameHeaderBytes] = static_cast<unsigned char>(kind);
  boost::endian::store_big_u64(bytes + kFrameHeaderBytes + 1, id);
  KQ_TBinaryPacker packer(std::move(header));
  packer.PackValue(value);
  std::string frame = packer.TakeBytes();
  std::size_t length = frame.size() - kFrameHeaderBytes;
  if (length > 0xFFFFFFFFu)
    throw KQ_EException("a message is too large for one frame");
  boost::endian::store_big_u32(reinterpret_cast<unsigned char*>(frame.data()),
                               static_cast<std::uint32_t>(length));
  return frame;
}

std::uint32_t FrameLength(const unsigned char* header) {
  return boost::endian::load_big_u32(header);
}

Message DecodePayload(std::string_view payload) {
  if (payload.size() < kMessageHeaderBytes)
    throw KQ_EException("a message of " + std::to_string(payload.size()) +
                        " bytes is shorter than its header");
  auto kind = static_cast<std::uint8_t>(payload[0]);
  if (kind < static_cast<std::uint8_t>(MessageKind::kRequest) ||
      kind > static_cast<std::uint8_t>(MessageKind::kStatus))
    throw KQ_EException("unknown message kind " + std::to_string(kind));
  Message message;
  message.kind = static_cast<MessageKind>(kind);
  message.id =
      boost::endian::load_big_u64(reinterpret_cast<const unsigned char*>(payload.data()) + 1);
  message.value = KQ_FromBytes(payload.substr(kMessageHeaderBytes));
  return message;
}

FrameReader::FrameReader(std::size_t maxPayloadBytes) : maxPayload_(maxPayloadBytes) {}

std::span<char> FrameReader::Prepare() {
  // Move what is left to the front once the popped part dominates, so the buffer does not
  // creep forward without end.
  if (begin_ > 0 && (begin_ == end_ || begin_ >= buffer_.size() / 2)) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  std::size_t wanted = kMinimumRoom;
  std::uint32_t length = AnnouncedLength();
  if (length > 0 && length <= maxPayload_) {
    // A large frame is arriving: double the room with what has come, up to the frame.
    std::size_t frameBytes = kFrameHeaderBytes + length;
    std::size_t have = end_ - begin_;
    if (frameBytes > have)
      wanted = std::max(wanted, std::min(frameBytes - have, std::max(have, kMinimumRoom)));
  }
  if (buffer_.size() - end_ < wanted)
    buffer_.resize(end_ + wanted);
  return {buffer_.data() + end_, buffer_.size() - end_};
}

void FrameReader::Commit(std::size_t count) {
  end_ += std::min(count, buffer_.size() - end_);
}

void FrameReader::Append(std::string_view bytes) {
  while (!bytes.empty()) {
    std::span<char> room = Prepare();
    std::size_t count = std::min(room.size(), bytes.size());
    std::memcpy(room.data(), bytes.data(), count);
    Commit(count);
    bytes.remove_prefix(count);
  }
}

std::uint32_t FrameReader::AnnouncedLength() const {
  if (end_ - begin_ < kFrameHeaderBytes)
    return 0;
  return FrameLength(reinterpret_cast<const unsigned char*>(buffer_.data() + begin_));
}

FrameReader::State FrameReader::Check() const {
  if (end_ - begin_ < kFrameHeaderBytes)
    return State::kNeedMore;
  std::uint32_t length = AnnouncedLength();
  if (length > maxPayload_)
    return State::kTooLarge;
  return end_ - begin_ >= kFrameHeaderBytes + length ? State::kReady : State::kNeedMore;
}

std::string_view FrameReader::Payload() const {
  return {buffer_.data() + begin_ + kFrameHeaderBytes, AnnouncedLength()};
}

void FrameReader::Pop() {
  begin_ += kFrameHeaderBytes + AnnouncedLength();
  if (begin_ == end_) {
    begin_ = end_ = 0;
    // An idle connection should not keep the room a large frame needed.
    if (buffer_.size() > kKeptRoom)
      std::string().swap(buffer_);
  }
}

}  // namespace kqm
