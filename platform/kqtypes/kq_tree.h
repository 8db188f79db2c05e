// KQ_TTree, a configuration folder: named entries in order, each a value or a sub-tree
// (a KQ_TTree held in the entry's KQ_TAny).
//
// The tree owns its entries. Use one from one thread at a time, or share it read-only.
#pragma once

#include "platform/kqtypes/kq_dict.h"

class KQ_TTree : public KQ_TObject, public virtual KQ_IPackable, public virtual KQ_IPrintable {
 public:
  static constexpr const char* KQ_ClassName = "KQ_TTree";
  static KQ_TClass* KQ_ClassObject();

  KQ_TTree() = default;
  KQ_TTree(const KQ_TTree&) = default;
  KQ_TTree(KQ_TTree&&) noexcept = default;
  KQ_TTree& operator=(const KQ_TTree&) = default;
  KQ_TTree& operator=(KQ_TTree&&) noexcept = default;
  ~KQ_TTree() override = default;

  // The entries, in order.
  const KQ_TDict& Entries() const { return entries_; }
  // The entry `name`, or a null any when there is none.
  const KQ_TAny& operator[](const char* name) const { return entries_[name]; }
  // The entry `name`, created null when absent.
  KQ_TAny& operator[](const char* name) { return entries_[name]; }
  std::size_t Count() const { return entries_.Count(); }

  KQ_TTree* KQ_CompleteObject() const override { return const_cast<KQ_TTree*>(this); }
  void* KQ_DynamicInfo(const char* className) const override;
  void KQ_Pack(KQ_IPacking& out) const override;
  void KQ_Unpack(KQ_IUnpacking& in) override;
  KQ_IPackable* KQ_Clone() const override { return new KQ_TTree(*this); }
  bool KQ_IsIdent(const KQ_IPackable& other) const override;
  void KQ_Move(KQ_IPackable& from) override;
  std::uint8_t KQ_PackTypeID() const override { return kKQ_TagTree; }
  // {name: value, ...}
  void PrintOn(std::ostream& out) const override { entries_.PrintOn(out); }

 private:
  KQ_TDict entries_;
};
