// Packing: how KQTypes values are written to and read from a byte encoding.
//
// KQ_IPackable is a value that can pack and unpack itself, be copied, compared and moved.
// KQ_IPacking / KQ_IUnpacking are the writer and reader it talks to: tagged primitives, and
// named sections that a class opens around its base class's part. The binary encoding
// behind them is KQ_TBinaryPacker / KQ_TBinaryUnpacker (kq_binary.h). A packer or unpacker
// belongs to one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/kqtypes/kq_interface.h"

class KQ_TAny;
class KQ_IPacking;
class KQ_IUnpacking;

// The tags of the binary encoding. Every primitive and every value starts with one.
enum KQ_PackTag : std::uint8_t {
  kKQ_TagText = 0x01,
  kKQ_TagBool = 0x02,
  kKQ_TagInt = 0x03,
  kKQ_TagCount = 0x04,
  kKQ_TagSectionOpen = 0x05,
  kKQ_TagSectionClose = 0x06,
  kKQ_TagNull = 0x10,
  kKQ_TagString = 0x11,
  kKQ_TagBoolValue = 0x12,
  kKQ_TagIntValue = 0x13,
  kKQ_TagDict = 0x14,
  kKQ_TagArray = 0x15,
  kKQ_TagList = 0x16,
  kKQ_TagURL = 0x17,
  kKQ_TagTree = 0x18,
  // A value of a registered class: its class chain, then what its KQ_Pack writes.
  kKQ_TagObject = 0x1F,
};

class KQ_IPackable : public virtual KQ_IInterface {
 public:
  // The packable table, in slot order.

  // Writes the value's content (not its tag or class).
  virtual void KQ_Pack(KQ_IPacking& out) const = 0;
  // Replaces the value's content with what `in` holds; throws KQ_EException when that is
  // malformed (the value is then left in a valid but unspecified state).
  virtual void KQ_Unpack(KQ_IUnpacking& in) = 0;
  // A heap copy; the caller owns it.
  virtual KQ_IPackable* KQ_Clone() const = 0;
  // Whether `other` is of the same class and holds the same content.
  virtual bool KQ_IsIdent(const KQ_IPackable& other) const = 0;
  // Takes over the content of `from`, which must be of the same class (else throws
  // KQ_EException); `from` is left valid but unspecified.
  virtual void KQ_Move(KQ_IPackable& from) = 0;
  // Replaces the content with what `in` holds, like KQ_Unpack.
  virtual void KQ_Assign(KQ_IUnpacking& in);
  // Writes the class chain, most derived first, by which a reader re-creates the value.
  virtual void KQ_PackClassObject(KQ_IPacking& out) const;
  // The tag the value is written with; kKQ_TagObject for classes outside the library.
  virtual std::uint8_t KQ_PackTypeID() const;
};

class KQ_IPacking {
 public:
  virtual ~KQ_IPacking() = default;
  virtual void OpenSection(const char* name) = 0;
  virtual void CloseSection(const char* name) = 0;
  virtual void PackText(std::string_view text) = 0;
  virtual void PackBool(bool value) = 0;
  virtual void PackInt(std::int64_t value) = 0;
  virtual void PackCount(std::size_t count) = 0;
  // A whole value with its tag; an empty any is written as null.
  virtual void PackValue(const KQ_TAny& value) = 0;
};

// Every operation throws KQ_EException when the input does not hold what is asked for:
// another tag, a length beyond the input, a section of another name, too deep a nesting.
class KQ_IUnpacking {
 public:
  virtual ~KQ_IUnpacking() = default;
  virtual void OpenSection(const char* name) = 0;
  virtual void CloseSection(const char* name) = 0;
  virtual std::string UnpackText() = 0;
  virtual bool UnpackBool() = 0;
  virtual std::int64_t UnpackInt() = 0;
  // A count of elements that follow; never more than the bytes left to read.
  virtual std::size_t UnpackCount() = 0;
  // A whole value written by PackValue; a null value leaves `value` empty.
  virtual void UnpackValue(KQ_TAny& value) = 0;
};
