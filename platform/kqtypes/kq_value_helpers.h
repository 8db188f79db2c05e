// Pieces every value class of the platform libraries needs in the same form: its class
// record with a factory, the same-class test of KQ_IsIdent and the source check of KQ_Move.
#pragma once

#include <new>

#include "platform/kqtypes/kq_exception.h"
#include "platform/kqtypes/kq_object.h"
#include "platform/kqtypes/kq_packing.h"

// The record of `Self`, created on first use with `Parent`'s record as parent and a factory
// that makes a default-constructed `Self`.
template <class Self, class Parent>
KQ_TClass* KQ_ValueClassObject() {
  static KQ_TClass* const record = KQ_TClass::GetClassObject(
      false, Self::KQ_ClassName, sizeof(Self), Parent::KQ_ClassObject(),
      +[]() -> KQ_TObject* { return new (std::nothrow) Self(); }, nullptr);
  return record;
}

// `other` as a `Self` when it is of exactly the class `self` is (not a subclass), else null.
template <class Self>
const Self* KQ_SameClass(const Self* self, const KQ_IPackable& other) {
  if (other.ClassObject() != self->ClassObject())
    return nullptr;
  return KQ_TObject::DynamicCast<Self>(&other);
}

// `from` as a `Self`; throws KQ_EException naming both classes when it is not of exactly the
// class `self` is.
template <class Self>
Self& KQ_MoveSource(const Self* self, KQ_IPackable& from) {
  Self* source =
      from.ClassObject() == self->ClassObject() ? KQ_TObject::DynamicCast<Self>(&from) : nullptr;
  if (source == nullptr)
    throw KQ_EException(KQ_TString("cannot move a ") + from.ClassName() + " into a " +
                        self->ClassName());
  return *source;
}
