// KQ_TBool and KQ_TInt, the boolean and the 64-bit integer value, and KQ_TScalarValue, the
// one piece both are made of.
//
// Plain values: use one from one thread at a time, or share it read-only.
#pragma once

#include <cstdint>
#include <ostream>
#include <type_traits>

#include "platform/kqtypes/kq_object.h"
#include "platform/kqtypes/kq_packing.h"
#include "platform/kqtypes/kq_value_class.h"

// The base of a value class `Self` that holds one `T` (bool or std::int64_t) and is written
// with `Tag`: the value, its content operations (the same value; packed as a primitive of
// its type; printed as "true"/"false" or in decimal) and KQ_TValueClass's object model. Self
// declares KQ_ClassName and takes the constructors.
template <class Self, class T, std::uint8_t Tag>
class KQ_TScalarValue : public KQ_TValueClass<Self> {
  static_assert(std::is_same_v<T, bool> || std::is_same_v<T, std::int64_t>);

 public:
  KQ_TScalarValue() = default;
  explicit KQ_TScalarValue(T value) : value_(value) {}

  T Value() const { return value_; }

  // The same value.
  bool SameContent(const Self& other) const { return other.Value() == value_; }
  void KQ_Pack(KQ_IPacking& out) const override {
    if constexpr (std::is_same_v<T, bool>)
      out.PackBool(value_);
    else
      out.PackInt(value_);
  }
  void KQ_Unpack(KQ_IUnpacking& in) override {
    if constexpr (std::is_same_v<T, bool>)
      value_ = in.UnpackBool();
    else
      value_ = in.UnpackInt();
  }
  std::uint8_t KQ_PackTypeID() const override { return Tag; }
  void PrintOn(std::ostream& out) const override {
    if constexpr (std::is_same_v<T, bool>)
      out << (value_ ? "true" : "false");
    else
      out << value_;
  }

 private:
  T value_{};
};

class KQ_TBool : public KQ_TScalarValue<KQ_TBool, bool, kKQ_TagBoolValue> {
 public:
  static constexpr const char* KQ_ClassName = "KQ_TBool";
  using KQ_TScalarValue::KQ_TScalarValue;
};

class KQ_TInt : public KQ_TScalarValue<KQ_TInt, std::int64_t, kKQ_TagIntValue> {
 public:
  static constexpr const char* KQ_ClassName = "KQ_TInt";
  using KQ_TScalarValue::KQ_TScalarValue;
};
