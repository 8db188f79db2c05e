// KQ_TList, a sequence of values (KQ_TAny) that grows at its end, walked with
// KQ_TConstIterator; listings such as a folder's key names arrive as one.
//
// The list owns its values. Use one from one thread at a time, or share it read-only.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/kqtypes/kq_any.h"

class KQ_TList : public KQ_TObject, public virtual KQ_IPackable, public virtual KQ_IPrintable {
 public:
  static constexpr const char* KQ_ClassName = "KQ_TList";
  static KQ_TClass* KQ_ClassObject();

  KQ_TList() = default;
  KQ_TList(const KQ_TList&) = default;
  KQ_TList(KQ_TList&&) noexcept = default;
  KQ_TList& operator=(const KQ_TList&) = default;
  KQ_TList& operator=(KQ_TList&&) noexcept = default;
  ~KQ_TList() override = default;

  std::size_t Count() const { return elements_.size(); }
  void Append(KQ_TAny value) { elements_.push_back(std::move(value)); }
  // Element `index`; throws KQ_EException when it is not below Count().
  const KQ_TAny& At(std::size_t index) const;

  KQ_TList* KQ_CompleteObject() const override { return const_cast<KQ_TList*>(this); }
  void* KQ_DynamicInfo(const char* className) const override;
  void KQ_Pack(KQ_IPacking& out) const override;
  void KQ_Unpack(KQ_IUnpacking& in) override;
  KQ_IPackable* KQ_Clone() const override { return new KQ_TList(*this); }
  bool KQ_IsIdent(const KQ_IPackable& other) const override;
  void KQ_Move(KQ_IPackable& from) override;
  std::uint8_t KQ_PackTypeID() const override { return kKQ_TagList; }
  // (value, ...)
  void PrintOn(std::ostream& out) const override;

 private:
  std::vector<KQ_TAny> elements_;
};
