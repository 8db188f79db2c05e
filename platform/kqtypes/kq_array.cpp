#include "platform/kqtypes/kq_array.h"

#include "platform/kqtypes/kq_sequence.h"
#include "platform/kqtypes/kq_value_class.h"

const KQ_TAny& KQ_TArray::operator[](std::size_t index) const {
  if (index >= elements_.size())
    kq_sequence::ThrowOutOfRange(KQ_ClassName, index, Count());
  return elements_[index];
}

KQ_TAny& KQ_TArray::operator[](std::size_t index) {
  if (index >= elements_.size())
    kq_sequence::ThrowOutOfRange(KQ_ClassName, index, Count());
  return elements_[index];
}

KQ_TClass* KQ_TArray::KQ_ClassObject() {
  return KQ_ValueClassObject<KQ_TArray, KQ_TObject>();
}

void* KQ_TArray::KQ_DynamicInfo(const char* className) const {
  return KQ_AnswerDynamicInfo<KQ_TObject>(this, KQ_ClassObject(), className);
}

void KQ_TArray::KQ_Pack(KQ_IPacking& out) const {
  kq_sequence::Pack(elements_, out);
}

void KQ_TArray::KQ_Unpack(KQ_IUnpacking& in) {
  elements_ = kq_sequence::Unpack(in);
}

bool KQ_TArray::KQ_IsIdent(const KQ_IPackable& other) const {
  const KQ_TArray* same = KQ_SameClass(this, other);
  return same != nullptr && kq_sequence::Equal(elements_, same->elements_);
}

void KQ_TArray::KQ_Move(KQ_IPackable& from) {
  elements_ = std::move(KQ_MoveSource(this, from).elements_);
}

void KQ_TArray::PrintOn(std::ostream& out) const {
  kq_sequence::Print(elements_, out, '[', ']');
}
