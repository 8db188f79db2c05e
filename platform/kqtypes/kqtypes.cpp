#include "platform/kqtypes/kqtypes.h"

extern "C" bool __KQ_INITIALIZATION_FUNCTION_kqtypes__() {
  KQ_TObject::KQ_ClassObject();
  KQ_TString::KQ_ClassObject();
  KQ_TBool::KQ_ClassObject();
  KQ_TInt::KQ_ClassObject();
  KQ_TDict::KQ_ClassObject();
  KQ_TArray::KQ_ClassObject();
  KQ_TList::KQ_ClassObject();
  KQ_TURL::KQ_ClassObject();
  KQ_TTree::KQ_ClassObject();
  KQ_EException::KQ_ClassObject();
  return true;
}
