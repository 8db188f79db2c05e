// KQ_TExceptionClass, the whole object model of an exception subclass that adds no members,
// given once.
//
// A template without state of its own; a record, once made, is shared by all threads.
#pragma once

#include "platform/kqtypes/kq_exception.h"
#include "platform/kqtypes/kq_value_class.h"

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
