#include "config/NTR/ntr_exceptions.h"

#include <new>

namespace {

template <class T>
KQ_TObject* Make() {
  return new (std::nothrow) T();
}

}  // namespace

KQ_TClass* NTR_EConfigException::Record() {
  return KQ_TClass::GetClassObject(false, KQ_ClassName, sizeof(NTR_EConfigException),
                                   KQ_EException::KQ_ClassObject(), &Make<NTR_EConfigException>,
                                   nullptr);
}

KQ_TClass* NTR_EConfigException::KQ_ClassObject() {
  KQ_TClass* record = Record();
  record->Announce();
  return record;
}

void* NTR_EConfigException::KQ_DynamicInfo(const char* className) const {
  return KQ_AnswerDynamicInfo<KQ_EException>(this, Record(), className);
}

void NTR_EConfigException::KQ_Pack(KQ_IPacking& out) const {
  out.OpenSection(KQ_EException::KQ_ClassName);
  KQ_EException::KQ_Pack(out);
  out.CloseSection(KQ_EException::KQ_ClassName);
}

void NTR_EConfigException::KQ_Unpack(KQ_IUnpacking& in) {
  in.OpenSection(KQ_EException::KQ_ClassName);
  KQ_EException::KQ_Unpack(in);
  in.CloseSection(KQ_EException::KQ_ClassName);
}

void NTR_EConfigException::PackAsSubclass(KQ_IPacking& out) const {
  out.OpenSection(NTR_EConfigException::KQ_ClassObject()->Name());
  NTR_EConfigException::KQ_Pack(out);
  out.CloseSection(NTR_EConfigException::KQ_ClassObject()->Name());
}

void NTR_EConfigException::UnpackAsSubclass(KQ_IUnpacking& in) {
  in.OpenSection(NTR_EConfigException::KQ_ClassObject()->Name());
  NTR_EConfigException::KQ_Unpack(in);
  in.CloseSection(NTR_EConfigException::KQ_ClassObject()->Name());
}

KQ_TClass* NTR_EIllegalPath::KQ_ClassObject() {
  return KQ_TClass::GetClassObject(false, KQ_ClassName, sizeof(NTR_EIllegalPath),
                                   NTR_EConfigException::KQ_ClassObject(), &Make<NTR_EIllegalPath>,
                                   nullptr);
}

void* NTR_EIllegalPath::KQ_DynamicInfo(const char* className) const {
  return KQ_AnswerDynamicInfo<NTR_EConfigException>(this, KQ_ClassObject(), className);
}

KQ_TClass* NTR_EValueNotSet::KQ_ClassObject() {
  return KQ_TClass::GetClassObject(false, KQ_ClassName, sizeof(NTR_EValueNotSet),
                                   NTR_EConfigException::KQ_ClassObject(), &Make<NTR_EValueNotSet>,
                                   nullptr);
}

void* NTR_EValueNotSet::KQ_DynamicInfo(const char* className) const {
  return KQ_AnswerDynamicInfo<NTR_EConfigException>(this, KQ_ClassObject(), className);
}

void RegisterNtrExceptions() {
  NTR_EIllegalPath::KQ_ClassObject();
  NTR_EValueNotSet::KQ_ClassObject();
}
