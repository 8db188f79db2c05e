// The wire format between a client and a server: a frame is a 32-bit big-endian length and
// that many payload bytes; a payload is a message kind, a 64-bit big-endian request id and
// one packed value (the request dictionary, the answer, the exception or the status).
//
// EncodeFrame and DecodePayload are pure functions. FrameReader cuts a byte stream into
// payloads; it does no I/O and belongs to one connection (one thread at a time).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/kqtypes/kq_any.h"

namespace kqm {

enum class MessageKind : std::uint8_t {
  kRequest = 1,    // client to server: a request dictionary for the processor
  kAnswer = 2,     // server to client: the answer
  kException = 3,  // server to client: the exception the request raised
  kStatus = 4,     // client to server: asks for the server's status (value: null)
};

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

// Collects received bytes and hands out the payloads of complete frames, in order. Its
// buffer grows with the bytes that arrive, never with what a header claims, so a peer
// that announces a large frame and sends little costs little.
class FrameReader {
 public:
  // Frames whose payload exceeds `maxPayloadBytes` are refused.
  explicit FrameReader(std::size_t maxPayloadBytes);

  // Room to receive into: at least a few kilobytes, more while a large frame is arriving.
  // Valid until the next call of any other operation.
  std::span<char> Prepare();
  // Records that `count` bytes were received into the room Prepare gave.
  void Commit(std::size_t count);
  // Prepare, copy and Commit in one: for callers that already hold the bytes.
  void Append(std::string_view bytes);

  enum class State { kNeedMore, kReady, kTooLarge };
  // Whether the next frame is complete. kTooLarge means its header announces more than
  // the limit (AnnouncedLength says how much); the stream cannot go on after that.
  State Check() const;
  // The payload of the next frame; only when Check() is kReady. Valid until Pop or the
  // next Prepare / Append.
  std::string_view Payload() const;
  // Drops the frame Payload showed, keeping the bytes that follow it.
  void Pop();

  // The payload length the next frame's header announces; 0 before its header is in.
  std::uint32_t AnnouncedLength() const;
  // Bytes received and not yet popped.
  std::size_t Buffered() const { return end_ - begin_; }
  // Drops every buffered byte, as after a broken connection.
  void Clear() { begin_ = end_ = 0; }

 private:
  static constexpr std::size_t kMinimumRoom = 4096;
  static constexpr std::size_t kKeptRoom = 64 * 1024;

  const std::size_t maxPayload_;
  std::string buffer_;  // bytes [begin_, end_) are received and not popped
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
};

}  // namespace kqm
