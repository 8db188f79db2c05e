// The class registry: one record per registered class name, holding the class's size, its
// parent's record and a factory that makes a default-constructed instance.
//
// Records are created on first use and live until the process ends; the pointers the
// registry hands out stay valid for that whole time. Every operation is safe to call from
// any thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

class KQ_TObject;

class KQ_TClass {
 public:
  // Makes a new, default-constructed instance of the class; null when it cannot.
  using Factory = KQ_TObject* (*)();
  // A second per-class function the registry accepts and keeps; unused so far.
  using Hook = void (*)();

  // The leading flag: false when a record is created (unless created with `announced`
  // true), set once the class has reported its record through KQ_DynamicInfo(null). The
  // registry itself does not act on it.
  std::atomic<bool> announced;

  // Finds the record named `className`, or creates it from the other arguments when there is
  // none. A later call with the same name returns the same record and ignores the other
  // arguments. Throws std::invalid_argument for a null or empty name.
  static KQ_TClass* GetClassObject(bool announced, const char* className, std::size_t size,
                                   KQ_TClass* parent, Factory factory, Hook hook);

  // The record named `className`, or null when no class of that name has been registered.
  static KQ_TClass* Find(const char* className);

  const char* Name() const { return name_.c_str(); }
  std::size_t Size() const { return size_; }
  KQ_TClass* Parent() const { return parent_; }
  Factory GetFactory() const { return factory_; }
  Hook GetHook() const { return hook_; }

  // Sets the leading flag if it is not set yet.
  void Announce() { announced.store(true, std::memory_order_relaxed); }

  // Whether this class is the class named `className` or derives from it.
  bool IsA(const char* className) const;

  // This class's name followed by its ancestors' names, most derived first.
  std::vector<std::string> Chain() const;

  // A new instance through the factory; null when the class has none or it gave nothing.
  KQ_TObject* Create() const;

  KQ_TClass(const KQ_TClass&) = delete;
  KQ_TClass& operator=(const KQ_TClass&) = delete;

 private:
  KQ_TClass(bool announcedAtStart, std::string name, std::size_t size, KQ_TClass* parent,
            Factory factory, Hook hook);

  const std::string name_;
  const std::size_t size_;
  KQ_TClass* const parent_;
  const Factory factory_;
  const Hook hook_;
};
