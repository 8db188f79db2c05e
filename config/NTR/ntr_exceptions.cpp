#include "config/NTR/ntr_exceptions.h"

KQ_TClass* NTR_EConfigException::KQ_ClassObject() {
  KQ_TClass* record = KQ_TExceptionClass::KQ_ClassObject();
  record->Announce();
  return record;
}

void RegisterNtrExceptions() {
  NTR_EIllegalPath::KQ_ClassObject();
  NTR_EValueNotSet::KQ_ClassObject();
}
