#include "platform/kqtypes/kq_packing.h"

#include "platform/kqtypes/kq_class.h"

void KQ_IPackable::KQ_Assign(KQ_IUnpacking& in) {
  KQ_Unpack(in);
}

void KQ_IPackable::KQ_PackClassObject(KQ_IPacking& out) const {
  std::vector<std::string> chain = ClassObject()->Chain();
  out.PackCount(chain.size());
  for (const std::string& name : chain)
    out.PackText(name);
}

std::uint8_t KQ_IPackable::KQ_PackTypeID() const {
  return kKQ_TagObject;
}
