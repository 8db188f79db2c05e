// KQ_TBool and KQ_TInt, the boolean and the 64-bit integer value.
//
// Plain values: use one from one thread at a time, or share it read-only.
#pragma once

#include <cstdint>

#include "platform/kqtypes/kq_object.h"
#include "platform/kqtypes/kq_packing.h"

class KQ_TBool : public KQ_TObject, public virtual KQ_IPackable, public virtual KQ_IPrintable {
 public:
  static constexpr const char* KQ_ClassName = "KQ_TBool";
  static KQ_TClass* KQ_ClassObject();

  KQ_TBool() = default;
  explicit KQ_TBool(bool value) : value_(value) {}
  KQ_TBool(const KQ_TBool&) = default;
  KQ_TBool& operator=(const KQ_TBool&) = default;
  ~KQ_TBool() override = default;

  bool Value() const { return value_; }

  KQ_TBool* KQ_CompleteObject() const override { return const_cast<KQ_TBool*>(this); }
  void* KQ_DynamicInfo(const char* className) const override;
  void KQ_Pack(KQ_IPacking& out) const override;
  void KQ_Unpack(KQ_IUnpacking& in) override;
  KQ_IPackable* KQ_Clone() const override { return new KQ_TBool(*this); }
  bool KQ_IsIdent(const KQ_IPackable& other) const override;
  void KQ_Move(KQ_IPackable& from) override;
  std::uint8_t KQ_PackTypeID() const override { return kKQ_TagBoolValue; }
  // "true" or "false".
  void PrintOn(std::ostream& out) const override;

 private:
  bool value_ = false;
};

class KQ_TInt : public KQ_TObject, public virtual KQ_IPackable, public virtual KQ_IPrintable {
 public:
  static constexpr const char* KQ_ClassName = "KQ_TInt";
  static KQ_TClass* KQ_ClassObject();

  KQ_TInt() = default;
  explicit KQ_TInt(std::int64_t value) : value_(value) {}
  KQ_TInt(const KQ_TInt&) = default;
  KQ_TInt& operator=(const KQ_TInt&) = default;
  ~KQ_TInt() override = default;

  std::int64_t Value() const { return value_; }

  KQ_TInt* KQ_CompleteObject() const override { return const_cast<KQ_TInt*>(this); }
  void* KQ_DynamicInfo(const char* className) const override;
  void KQ_Pack(KQ_IPacking& out) const override;
  void KQ_Unpack(KQ_IUnpacking& in) override;
  KQ_IPackable* KQ_Clone() const override { return new KQ_TInt(*this); }
  bool KQ_IsIdent(const KQ_IPackable& other) const override;
  void KQ_Move(KQ_IPackable& from) override;
  std::uint8_t KQ_PackTypeID() const override { return kKQ_TagIntValue; }
  // The number in decimal.
  void PrintOn(std::ostream& out) const override;

 private:
  std::int64_t value_ = 0;
};
