// The binary encoding of packed values: each primitive is a tag byte and its payload
// (lengths and counts as 32-bit big-endian numbers, integers as 64-bit big-endian), each
// value a value tag and its class's content, each object of a registered class its class
// chain and then its content.
//
// The packer refuses values nested deeper than the unpacker accepts, so that what is sent
// can always be read. The unpacker checks every tag, length and count against the bytes it has,
// limits nesting to kKQ_MaxPackDepth and throws KQ_EException naming the byte offset on anything
// malformed; it never reads past its input. A packer or unpacker belongs to one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/kqtypes/kq_any.h"
#include "platform/kqtypes/kq_packing.h"

// How deeply values may nest inside one another in packed data.
inline constexpr int kKQ_MaxPackDepth = 100;
// How many class names an object's class chain may hold.
inline constexpr std::size_t kKQ_MaxClassChain = 32;

class KQ_TBinaryPacker final : public KQ_IPacking {
 public:
  KQ_TBinaryPacker() = default;
  // Packs after `prefix`, so that a caller's header and the packed bytes share one buffer.
  explicit KQ_TBinaryPacker(std::string prefix) : out_(std::move(prefix)) {}

  void OpenSection(const char* name) override;
  void CloseSection(const char* name) override;
  void PackText(std::string_view text) override;
  void PackBool(bool value) override;
  void PackInt(std::int64_t value) override;
  void PackCount(std::size_t count) override;
  void PackValue(const KQ_TAny& value) override;

  const std::string& Bytes() const { return out_; }
  std::string TakeBytes() { return std::move(out_); }

 private:
  void PutU32(std::size_t value, const char* what);

  std::string out_;
  int depth_ = 0;
};

class KQ_TBinaryUnpacker final : public KQ_IUnpacking {
 public:
  // Borrows `bytes`, which must outlive the unpacker.
  explicit KQ_TBinaryUnpacker(std::string_view bytes) : in_(bytes) {}

  void OpenSection(const char* name) override;
  void CloseSection(const char* name) override;
  std::string UnpackText() override;
  bool UnpackBool() override;
  std::int64_t UnpackInt() override;
  std::size_t UnpackCount() override;
  void UnpackValue(KQ_TAny& value) override;

  bool AtEnd() const { return position_ == in_.size(); }
  std::size_t Position() const { return position_; }

 private:
  [[noreturn]] void Fail(const std::string& what) const;
  std::uint8_t TakeByte(const char* what);
  void ExpectTag(std::uint8_t tag, const char* what);
  std::uint32_t TakeU32(const char* what);
  // The next `count` bytes of a fixed-size field, or a failure naming `what`.
  const unsigned char* TakeFixed(std::size_t count, const char* what);
  std::string_view TakeBytes(std::size_t count, const char* what);
  void ExpectSection(std::uint8_t tag, const char* name);
  void UnpackObject(KQ_TAny& value);

  std::string_view in_;
  std::size_t position_ = 0;
  int depth_ = 0;
};

// `value` packed into bytes.
std::string KQ_ToBytes(const KQ_TAny& value);
// The value packed in `bytes`, which must hold exactly one; throws KQ_EException otherwise.
KQ_TAny KQ_FromBytes(std::string_view bytes);
