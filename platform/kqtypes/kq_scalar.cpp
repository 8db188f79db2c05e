#include "platform/kqtypes/kq_scalar.h"

#include <ostream>

#include "platform/kqtypes/kq_value_class.h"

KQ_TClass* KQ_TBool::KQ_ClassObject() {
  return KQ_ValueClassObject<KQ_TBool, KQ_TObject>();
}

void* KQ_TBool::KQ_DynamicInfo(const char* className) const {
  return KQ_AnswerDynamicInfo<KQ_TObject>(this, KQ_ClassObject(), className);
}

void KQ_TBool::KQ_Pack(KQ_IPacking& out) const {
  out.PackBool(value_);
}

void KQ_TBool::KQ_Unpack(KQ_IUnpacking& in) {
  value_ = in.UnpackBool();
}

bool KQ_TBool::KQ_IsIdent(const KQ_IPackable& other) const {
  const KQ_TBool* same = KQ_SameClass(this, other);
  return same != nullptr && same->value_ == value_;
}

void KQ_TBool::KQ_Move(KQ_IPackable& from) {
  value_ = KQ_MoveSource(this, from).value_;
}

void KQ_TBool::PrintOn(std::ostream& out) const {
  out << (value_ ? "true" : "false");
}

KQ_TClass* KQ_TInt::KQ_ClassObject() {
  return KQ_ValueClassObject<KQ_TInt, KQ_TObject>();
}

void* KQ_TInt::KQ_DynamicInfo(const char* className) const {
  return KQ_AnswerDynamicInfo<KQ_TObject>(this, KQ_ClassObject(), className);
}

void KQ_TInt::KQ_Pack(KQ_IPacking& out) const {
  out.PackInt(value_);
}

void KQ_TInt::KQ_Unpack(KQ_IUnpacking& in) {
  value_ = in.UnpackInt();
}

bool KQ_TInt::KQ_IsIdent(const KQ_IPackable& other) const {
  const KQ_TInt* same = KQ_SameClass(this, other);
  return same != nullptr && same->value_ == value_;
}

void KQ_TInt::KQ_Move(KQ_IPackable& from) {
  value_ = KQ_MoveSource(this, from).value_;
}

void KQ_TInt::PrintOn(std::ostream& out) const {
  out << value_;
}
