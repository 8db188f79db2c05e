// The object-model members that registered classes write the same way, given once: a
// class's record with a factory, the same-class test of KQ_IsIdent, the source check of
// KQ_Move; and KQ_TValueClass, the whole object model of a value class.
//
// Templates without state of their own; a record, once made, is shared by all threads.
#pragma once

#include <new>
#include <utility>

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

// Throws KQ_EException naming the class of `from` and of `into`.
[[noreturn]] void KQ_ThrowCannotMove(const KQ_IInterface& from, const KQ_IInterface& into);

// `from` as a `Self`; throws KQ_EException naming both classes when it is not of exactly the
// class `self` is.
template <class Self>
Self& KQ_MoveSource(const Self* self, KQ_IPackable& from) {
  Self* source =
      from.ClassObject() == self->ClassObject() ? KQ_TObject::DynamicCast<Self>(&from) : nullptr;
  if (source == nullptr)
    KQ_ThrowCannotMove(from, *self);
  return *source;
}

// The base of a value class `Self` derived from the registered class `Parent`: it adds the
// interfaces every value offers (KQ_IPackable, KQ_IPrintable) and gives Self its record
// (with a factory making a default Self, parent Parent's record), its KQ_DynamicInfo,
// KQ_Clone (a copy), KQ_Move (Self's move assignment from a value of exactly Self's class)
// and KQ_IsIdent (exactly Self's class and equal content). Self declares KQ_ClassName, its
// data and its content operations: SameContent, KQ_Pack, KQ_Unpack, KQ_PackTypeID and
// PrintOn.
//
//   class My_TValue : public KQ_TValueClass<My_TValue> {
//    public:
//     static constexpr const char* KQ_ClassName = "My_TValue";
//     bool SameContent(const My_TValue& other) const;
//     ...
//   };
template <class Self, class Parent = KQ_TObject>
class KQ_TValueClass : public Parent, public virtual KQ_IPackable, public virtual KQ_IPrintable {
 public:
  static KQ_TClass* KQ_ClassObject() { return KQ_ValueClassObject<Self, Parent>(); }

  KQ_TValueClass* KQ_CompleteObject() const override { return const_cast<KQ_TValueClass*>(this); }
  void* KQ_DynamicInfo(const char* className) const override {
    return KQ_AnswerDynamicInfo<Parent>(AsSelf(), Self::KQ_ClassObject(), className);
  }
  KQ_IPackable* KQ_Clone() const override { return new Self(*AsSelf()); }
  // Same class (not a subclass) and Self::SameContent.
  bool KQ_IsIdent(const KQ_IPackable& other) const override {
    const Self* same = KQ_SameClass(AsSelf(), other);
    return same != nullptr && AsSelf()->SameContent(*same);
  }
  void KQ_Move(KQ_IPackable& from) override {
    Self& source = KQ_MoveSource(AsSelf(), from);
    static_cast<Self&>(*this) = std::move(source);
  }

 private:
  const Self* AsSelf() const { return static_cast<const Self*>(this); }
};
