#include "platform/kqtypes/kq_tree.h"

void KQ_TTree::KQ_Pack(KQ_IPacking& out) const {
  entries_.KQ_Pack(out);
}

void KQ_TTree::KQ_Unpack(KQ_IUnpacking& in) {
  entries_.KQ_Unpack(in);
}

bool KQ_TTree::SameContent(const KQ_TTree& other) const {
  return entries_.SameContent(other.entries_);
}
