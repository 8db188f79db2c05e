// The object-model members that registered classes write the same way, given once: a value
// class's record with a factory, the same-class test of KQ_IsIdent and the source check of
// KQ_Move; and KQ_TExceptionClass, the whole object model of an exception subclass.
//
// Templates without state of their own; a record, once made, is shared by all threads.
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

// The base of an exception class `Self` derived from the exception class `Parent`
// (KQ_EException or one of its subclasses) that adds no members: it gives Self its record
// (with a factory making a default Self, parent Parent's record), its KQ_DynamicInfo,
// KQ_Raise and KQ_Clone, and packs Parent's part inside a section named after Parent. Self
// declares KQ_ClassName and its constructors, and may hide KQ_ClassObject to make its record
// differently (KQ_DynamicInfo asks Self's).
//
//   class My_EFailure : public KQ_TExceptionClass<My_EFailure, KQ_EException> { ... };
template <class Self, class Parent>
class KQ_TExceptionClass : public Parent {
 public:
  using Parent::Parent;

  static KQ_TClass* KQ_ClassObject() { return KQ_ValueClassObject<Self, Parent>(); }

  KQ_TExceptionClass* KQ_CompleteObject() const override {
    return const_cast<KQ_TExceptionClass*>(this);
  }
  void* KQ_DynamicInfo(const char* className) const override {
    return KQ_AnswerDynamicInfo<Parent>(AsSelf(), Self::KQ_ClassObject(), className);
  }
  [[noreturn]] void KQ_Raise() const override { throw Self(*AsSelf()); }
  void KQ_Pack(KQ_IPacking& out) const override {
    out.OpenSection(Parent::KQ_ClassName);
    Parent::KQ_Pack(out);
    out.CloseSection(Parent::KQ_ClassName);
  }
  void KQ_Unpack(KQ_IUnpacking& in) override {
    in.OpenSection(Parent::KQ_ClassName);
    Parent::KQ_Unpack(in);
    in.CloseSection(Parent::KQ_ClassName);
  }
  KQ_IPackable* KQ_Clone() const override { return new Self(*AsSelf()); }

 private:
  const Self* AsSelf() const { return static_cast<const Self*>(this); }
};
