#include "platform/kqtypes/kq_scalar.h"

#include <ostream>

void KQ_TBool::KQ_Pack(KQ_IPacking& out) const {
  out.PackBool(value_);
}

void KQ_TBool::KQ_Unpack(KQ_IUnpacking& in) {
  value_ = in.UnpackBool();
}

bool KQ_TBool::SameContent(const KQ_TBool& other) const {
  return other.value_ == value_;
}

void KQ_TBool::PrintOn(std::ostream& out) const {
  out << (value_ ? "true" : "false");
}

void KQ_TInt::KQ_Pack(KQ_IPacking& out) const {
  out.PackInt(value_);
}

void KQ_TInt::KQ_Unpack(KQ_IUnpacking& in) {
  value_ = in.UnpackInt();
}

bool KQ_TInt::SameContent(const KQ_TInt& other) const {
  return other.value_ == value_;
}

void KQ_TInt::PrintOn(std::ostream& out) const {
  out << value_;
}
