#include "platform/kqtypes/kq_object.h"

#include <typeinfo>

#include "platform/kqtypes/kq_interface.h"
#include "platform/kqtypes/kq_packing.h"

KQ_IInterface::~KQ_IInterface() = default;

bool KQ_IInterface::HasInterface(const char* interfaceName) const {
  if (interfaceName == nullptr)
    return false;
  if (std::strcmp(interfaceName, "KQ_IInterface") == 0)
    return true;
  if (std::strcmp(interfaceName, "KQ_IPackable") == 0)
    return dynamic_cast<const KQ_IPackable*>(this) != nullptr;
  if (std::strcmp(interfaceName, "KQ_IPrintable") == 0)
    return dynamic_cast<const KQ_IPrintable*>(this) != nullptr;
  if (std::strcmp(interfaceName, "KQ_IThrowable") == 0)
    return dynamic_cast<const KQ_IThrowable*>(this) != nullptr;
  return false;
}

namespace {

KQ_TObject* NoFactory() {
  return nullptr;
}

}  // namespace

KQ_TClass* KQ_TObject::KQ_ClassObject() {
  static KQ_TClass* record = KQ_TClass::GetClassObject(false, KQ_ClassName, sizeof(KQ_TObject),
                                                       nullptr, &NoFactory, nullptr);
  return record;
}

void* KQ_TObject::KQ_DynamicInfo(const char* className) const {
  KQ_TClass* record = KQ_ClassObject();
  if (className == nullptr) {
    record->Announce();
    return record;
  }
  if (std::strcmp(className, record->Name()) == 0)
    return const_cast<KQ_TObject*>(this);
  return nullptr;
}

const KQ_TClass* KQ_TObject::ClassObject() const {
  return static_cast<const KQ_TClass*>(KQ_DynamicInfo(nullptr));
}

const char* KQ_TObject::ClassName() const {
  return ClassObject()->Name();
}

bool KQ_TObject::HasSuperclass(const char* className) const {
  const KQ_TClass* parent = ClassObject()->Parent();
  return parent != nullptr && parent->IsA(className);
}

void* KQ_TObject::KQ_Cast(const char* className) const {
  return className == nullptr ? nullptr : KQ_DynamicInfo(className);
}
