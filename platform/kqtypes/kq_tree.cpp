#include "platform/kqtypes/kq_tree.h"

#include "platform/kqtypes/kq_value_class.h"

KQ_TClass* KQ_TTree::KQ_ClassObject() {
  return KQ_ValueClassObject<KQ_TTree, KQ_TObject>();
}

void* KQ_TTree::KQ_DynamicInfo(const char* className) const {
  return KQ_AnswerDynamicInfo<KQ_TObject>(this, KQ_ClassObject(), className);
}

void KQ_TTree::KQ_Pack(KQ_IPacking& out) const {
  entries_.KQ_Pack(out);
}

void KQ_TTree::KQ_Unpack(KQ_IUnpacking& in) {
  entries_.KQ_Unpack(in);
}

bool KQ_TTree::KQ_IsIdent(const KQ_IPackable& other) const {
  const KQ_TTree* same = KQ_SameClass(this, other);
  return same != nullptr && entries_.KQ_IsIdent(same->entries_);
}

void KQ_TTree::KQ_Move(KQ_IPackable& from) {
  entries_ = std::move(KQ_MoveSource(this, from).entries_);
}
