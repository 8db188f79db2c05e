#include "platform/kqtypes/kq_class.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace {

struct Registry {
  std::mutex mutex;
  std::map<std::string, std::unique_ptr<KQ_TClass>, std::less<>> records;  // guarded by mutex
};

Registry& TheRegistry() {
  // Never destroyed: class records are used by static objects' destructors too.
  static Registry* registry = new Registry;
  return *registry;
}

}  // namespace

KQ_TClass::KQ_TClass(bool announcedAtStart, std::string name, std::size_t size, KQ_TClass* parent,
                     Factory factory, Hook hook)
    : announced(announcedAtStart),
      name_(std::move(name)),
      size_(size),
      parent_(parent),
      factory_(factory),
      hook_(hook) {}

KQ_TClass* KQ_TClass::GetClassObject(bool announcedAtStart, const char* className, std::size_t size,
                                     KQ_TClass* parent, Factory factory, Hook hook) {
  if (className == nullptr || *className == '\0')
    throw std::invalid_argument("a class record needs a name");
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  auto found = registry.records.find(std::string_view(className));
  if (found != registry.records.end())
    return found->second.get();
  auto record = std::unique_ptr<KQ_TClass>(
      new KQ_TClass(announcedAtStart, className, size, parent, factory, hook));
  KQ_TClass* result = record.get();
  registry.records.emplace(className, std::move(record));
  return result;
}

KQ_TClass* KQ_TClass::Find(const char* className) {
  if (className == nullptr)
    return nullptr;
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  auto found = registry.records.find(std::string_view(className));
  return found == registry.records.end() ? nullptr : found->second.get();
}

bool KQ_TClass::IsA(const char* className) const {
  if (className == nullptr)
    return false;
  for (const KQ_TClass* record = this; record != nullptr; record = record->parent_) {
    if (std::strcmp(record->Name(), className) == 0)
      return true;
  }
  return false;
}

std::vector<std::string> KQ_TClass::Chain() const {
  std::vector<std::string> names;
  for (const KQ_TClass* record = this; record != nullptr; record = record->parent_)
    names.push_back(record->name_);
  return names;
}

KQ_TObject* KQ_TClass::Create() const {
  return factory_ == nullptr ? nullptr : factory_();
}
