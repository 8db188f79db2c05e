// KQ_TAny, a holder of one value of any packable class, or of nothing (null).
//
// The any owns its value and copies it deeply when it is copied. Text assigned to it is
// stored as a KQ_TString, a bool as a KQ_TBool and an integer as a KQ_TInt. Use an any from
// one thread at a time, or share it read-only.
#pragma once

#include <concepts>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <type_traits>

#include "platform/kqtypes/kq_object.h"
#include "platform/kqtypes/kq_packing.h"

class KQ_TAny {
 public:
  KQ_TAny() = default;
  KQ_TAny(const KQ_TAny& other);
  KQ_TAny(KQ_TAny&& other) noexcept = default;
  // A copy of `value`.
  KQ_TAny(const KQ_IPackable& value) : value_(value.KQ_Clone()) {}
  // `value` itself, moved in.
  template <class T>
  requires std::derived_from<std::remove_cvref_t<T>, KQ_IPackable> &&
      (!std::is_lvalue_reference_v<T>)KQ_TAny(T&& value)
      : value_(new std::remove_cvref_t<T>(std::move(value))) {}
  KQ_TAny(const char* text);
  KQ_TAny(const std::string& text);
  KQ_TAny(const wchar_t* text);
  // Takes ownership of `value` (null gives a null any).
  explicit KQ_TAny(std::unique_ptr<KQ_IPackable> value) : value_(std::move(value)) {}
  // Only a real bool: a pointer must not turn into one.
  template <std::same_as<bool> B>
  KQ_TAny(B value) {
    SetBool(value);
  }
  template <std::integral I>
  requires(!std::same_as<I, bool> && !std::same_as<I, char> && !std::same_as<I, wchar_t>)
      KQ_TAny(I value) {
    SetInt(static_cast<std::int64_t>(value));
  }
  ~KQ_TAny() = default;

  KQ_TAny& operator=(const KQ_TAny& other);
  KQ_TAny& operator=(KQ_TAny&& other) noexcept = default;

  // Whether the any holds nothing.
  bool IsNull() const { return value_ == nullptr; }
  // Empties the any.
  void Clear() { value_.reset(); }
  // The held value, or null.
  const KQ_IPackable* Get() const { return value_.get(); }
  KQ_IPackable* Get() { return value_.get(); }

  // The held value's class name ("KQ_TString"), or "" when the any is null.
  const char* ClassName() const;

  // The held value as a T (found by T's registered name), or null.
  template <class T>
  const T* DynamicCast() const {
    return KQ_TObject::DynamicCast<T>(static_cast<const KQ_IInterface*>(value_.get()));
  }
  template <class T>
  T* DynamicCast() {
    return KQ_TObject::DynamicCast<T>(static_cast<KQ_IInterface*>(value_.get()));
  }

  // Whether both hold nothing, or values of the same class with the same content.
  bool operator==(const KQ_TAny& other) const;

  // The held value's printed form, or "null".
  void PrintOn(std::ostream& out) const;

 private:
  void SetBool(bool value);
  void SetInt(std::int64_t value);

  std::unique_ptr<KQ_IPackable> value_;
};
