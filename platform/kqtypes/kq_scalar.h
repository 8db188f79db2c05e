// KQ_TBool and KQ_TInt, the boolean and the 64-bit integer value.
//
// Plain values: use one from one thread at a time, or share it read-only.
#pragma once

#include <cstdint>

#include "platform/kqtypes/kq_object.h"
#include "platform/kqtypes/kq_packing.h"
#include "platform/kqtypes/kq_value_class.h"

class KQ_TBool : public KQ_TValueClass<KQ_TBool> {
 public:
  static constexpr const char* KQ_ClassName = "KQ_TBool";

  KQ_TBool() = default;
  explicit KQ_TBool(bool value) : value_(value) {}

  bool Value() const { return value_; }

  // The same value.
  bool SameContent(const KQ_TBool& other) const;
  void KQ_Pack(KQ_IPacking& out) const override;
  void KQ_Unpack(KQ_IUnpacking& in) override;
  std::uint8_t KQ_PackTypeID() const override { return kKQ_TagBoolValue; }
  // "true" or "false".
  void PrintOn(std::ostream& out) const override;

 private:
  bool value_ = false;
};

class KQ_TInt : public KQ_TValueClass<KQ_TInt> {
 public:
  static constexpr const char* KQ_ClassName = "KQ_TInt";

  KQ_TInt() = default;
  explicit KQ_TInt(std::int64_t value) : value_(value) {}

  std::int64_t Value() const { return value_; }

  // The same value.
  bool SameContent(const KQ_TInt& other) const;
  void KQ_Pack(KQ_IPacking& out) const override;
  void KQ_Unpack(KQ_IUnpacking& in) override;
  std::uint8_t KQ_PackTypeID() const override { return kKQ_TagIntValue; }
  // The number in decimal.
  void PrintOn(std::ostream& out) const override;

 private:
  std::int64_t value_ = 0;
};
