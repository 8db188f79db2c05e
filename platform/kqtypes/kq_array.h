// KQ_TArray, an indexed sequence of values (KQ_TAny) whose length is set explicitly.
//
// The array owns its values. Indexing outside 0 .. Count() - 1 throws KQ_EException. Use one
// from one thread at a time, or share it read-only.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/kqtypes/kq_any.h"

class KQ_TArray : public KQ_TObject, public virtual KQ_IPackable, public virtual KQ_IPrintable {
 public:
  static constexpr const char* KQ_ClassName = "KQ_TArray";
  static KQ_TClass* KQ_ClassObject();

  KQ_TArray() = default;
  KQ_TArray(const KQ_TArray&) = default;
  KQ_TArray(KQ_TArray&&) noexcept = default;
  KQ_TArray& operator=(const KQ_TArray&) = default;
  KQ_TArray& operator=(KQ_TArray&&) noexcept = default;
  ~KQ_TArray() override = default;

  std::size_t Count() const { return elements_.size(); }
  // New elements are null; a shorter length drops the elements beyond it.
  void SetLength(std::size_t length) { elements_.resize(length); }
  void Append(KQ_TAny value) { elements_.push_back(std::move(value)); }
  // Element `index`; throws KQ_EException when it is not below Count().
  const KQ_TAny& operator[](std::size_t index) const;
  KQ_TAny& operator[](std::size_t index);

  KQ_TArray* KQ_CompleteObject() const override { return const_cast<KQ_TArray*>(this); }
  void* KQ_DynamicInfo(const char* className) const override;
  void KQ_Pack(KQ_IPacking& out) const override;
  void KQ_Unpack(KQ_IUnpacking& in) override;
  KQ_IPackable* KQ_Clone() const override { return new KQ_TArray(*this); }
  bool KQ_IsIdent(const KQ_IPackable& other) const override;
  void KQ_Move(KQ_IPackable& from) override;
  std::uint8_t KQ_PackTypeID() const override { return kKQ_TagArray; }
  // [value, ...]
  void PrintOn(std::ostream& out) const override;

 private:
  std::vector<KQ_TAny> elements_;
};
