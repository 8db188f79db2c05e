// KQ_TTree, a configuration folder: named entries in order, each a value or a sub-tree
// (a KQ_TTree held in the entry's KQ_TAny).
//
// The tree owns its entries. Use one from one thread at a time, or share it read-only.
#pragma once

#include "platform/kqtypes/kq_dict.h"

class KQ_TTree : public KQ_TValueClass<KQ_TTree> {
 public:
  static constexpr const char* KQ_ClassName = "KQ_TTree";

  // The entries, in order.
  const KQ_TDict& Entries() const { return entries_; }
  // The entry `name`, or a null any when there is none.
  const KQ_TAny& operator[](const char* name) const { return entries_[name]; }
  // The entry `name`, created null when absent.
  KQ_TAny& operator[](const char* name) { return entries_[name]; }
  std::size_t Count() const { return entries_.Count(); }

  // The same entries (see KQ_TDict::SameContent).
  bool SameContent(const KQ_TTree& other) const;
  void KQ_Pack(KQ_IPacking& out) const override;
  void KQ_Unpack(KQ_IUnpacking& in) override;
  std::uint8_t KQ_PackTypeID() const override { return kKQ_TagTree; }
  // {name: value, ...}
  void PrintOn(std::ostream& out) const override { entries_.PrintOn(out); }

 private:
  KQ_TDict entries_;
};
