// The wire format between a client and a server: a frame is a 32-bit big-endian length and
// that many payload bytes; a payload is a message kind, a 64-bit big-endian request id and
// one packed value (the request dictionary, the answer or the exception). Pure functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/kqtypes/kq_any.h"

namespace kqm {

enum class MessageKind : std::uint8_t { kRequest = 1, kAnswer = 2, kException = 3 };

inline constexpr std::size_t kFrameHeaderBytes = 4;
// Kind and id: the smallest payload there can be, before its value.
inline constexpr std::size_t kMessageHeaderBytes = 9;

struct Message {
  MessageKind kind = MessageKind::kRequest;
  std::uint64_t id = 0;
  KQ_TAny value;
};

// The whole frame for one message. Throws KQ_EException when the value cannot be packed.
std::string EncodeFrame(MessageKind kind, std::uint64_t id, const KQ_TAny& value);

// The payload length a frame's 4 header bytes announce.
std::uint32_t FrameLength(const unsigned char* header);

// The message in a payload (a frame without its length). Throws KQ_EException when the
// payload is shorter than a message header, names an unknown kind or holds an undecodable
// value.
Message DecodePayload(std::string_view payload);

}  // namespace kqm
