// KQ_TObject, the root class of every registered KQTypes class, and the casts by class name.
//
// A class registers itself by answering KQ_DynamicInfo: with null it returns its class
// record (KQ_TClass), with its own name it returns itself, and every other name goes to its
// parent class. KQ_TObject ends that chain. Casting and class queries are const and safe to
// call from any thread on an object nobody is changing.
#pragma once

#include <cstring>

#include "platform/kqtypes/kq_class.h"
#include "platform/kqtypes/kq_interface.h"

class KQ_TObject : public virtual KQ_IInterface {
 public:
  static constexpr const char* KQ_ClassName = "KQ_TObject";
  // The record of "KQ_TObject", the root of every parent chain.
  static KQ_TClass* KQ_ClassObject();

  KQ_TObject* KQ_CompleteObject() const override { return const_cast<KQ_TObject*>(this); }
  void* KQ_DynamicInfo(const char* className) const override;
  const KQ_TClass* ClassObject() const override;
  const char* ClassName() const override;
  bool HasSuperclass(const char* className) const override;
  void* KQ_Cast(const char* className) const override;

  // `value` as a T, found by T's registered name; null when `value` is null or not a T.
  template <class T>
  static const T* DynamicCast(const KQ_IInterface* value) {
    return value == nullptr ? nullptr : static_cast<const T*>(value->KQ_Cast(T::KQ_ClassName));
  }
  template <class T>
  static T* DynamicCast(KQ_IInterface* value) {
    return value == nullptr ? nullptr : static_cast<T*>(value->KQ_Cast(T::KQ_ClassName));
  }

 protected:
  KQ_TObject() = default;
  KQ_TObject(const KQ_TObject&) = default;
  KQ_TObject& operator=(const KQ_TObject&) = default;
};

// The common answer of KQ_DynamicInfo for a class whose part of the object is `self` and
// whose record is `record`: the record for null (announcing it), `self` for the record's own
// name, and the parent class's answer for every other name.
template <class Parent, class Self>
void* KQ_AnswerDynamicInfo(const Self* self, KQ_TClass* record, const char* className) {
  if (className == nullptr) {
    record->Announce();
    return record;
  }
  if (std::strcmp(className, record->Name()) == 0)
    return const_cast<Self*>(self);
  return self->Parent::KQ_DynamicInfo(className);
}
