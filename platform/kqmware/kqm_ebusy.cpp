#include "platform/kqmware/kqm_ebusy.h"

#include <new>

#include "platform/kqtypes/kq_value_helpers.h"

KQ_TClass* KQM_EBusy::KQ_ClassObject() {
  static KQ_TClass* const record = KQ_TClass::GetClassObject(
      false, KQ_ClassName, sizeof(KQM_EBusy), KQ_EException::KQ_ClassObject(),
      +[]() -> KQ_TObject* { return new (std::nothrow) KQM_EBusy(); }, nullptr);
  return record;
}

void* KQM_EBusy::KQ_DynamicInfo(const char* className) const {
  return KQ_AnswerDynamicInfo<KQ_EException>(this, KQ_ClassObject(), className);
}

void KQM_EBusy::KQ_Pack(KQ_IPacking& out) const {
  out.OpenSection(KQ_EException::KQ_ClassName);
  KQ_EException::KQ_Pack(out);
  out.CloseSection(KQ_EException::KQ_ClassName);
}

void KQM_EBusy::KQ_Unpack(KQ_IUnpacking& in) {
  in.OpenSection(KQ_EException::KQ_ClassName);
  KQ_EException::KQ_Unpack(in);
  in.CloseSection(KQ_EException::KQ_ClassName);
}
