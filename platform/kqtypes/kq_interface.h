// The object-model interfaces every KQTypes class shares.
//
// KQ_IInterface is the virtual base of all of them: it answers what class an object is,
// which classes it derives from and casts it by class name. KQ_IPrintable prints an object;
// KQ_IThrowable raises an exception object as its most derived class. The interfaces hold
// no data; their rules on threads are those of the object they belong to.
#pragma once

#include <iosfwd>

class KQ_TClass;
class KQ_TObject;

class KQ_IInterface {
 public:
  // The object-model table, in slot order.

  // The most derived object this interface is part of.
  virtual KQ_TObject* KQ_CompleteObject() const = 0;
  // With a class name: the object as that class (a pointer to that class's part), or null
  // when the object is not one. With null: the class record of the object's own class.
  virtual void* KQ_DynamicInfo(const char* className) const = 0;
  // The class record of the object's own class; never null.
  virtual const KQ_TClass* ClassObject() const = 0;
  // The registered name of the object's own class ("KQ_TString").
  virtual const char* ClassName() const = 0;
  // Whether a class the object's class derives from (not the class itself) has this name.
  virtual bool HasSuperclass(const char* className) const = 0;
  // Whether the object offers the interface of this name ("KQ_IPackable", "KQ_IPrintable",
  // "KQ_IThrowable", "KQ_IInterface").
  virtual bool HasInterface(const char* interfaceName) const;
  virtual ~KQ_IInterface();
  // The object as the class of this name, or null; null for a null name.
  virtual void* KQ_Cast(const char* className) const = 0;

 protected:
  KQ_IInterface() = default;
  KQ_IInterface(const KQ_IInterface&) = default;
  KQ_IInterface& operator=(const KQ_IInterface&) = default;
};

class KQ_IPrintable : public virtual KQ_IInterface {
 public:
  // Writes a readable form of the object; for a string exactly its text.
  virtual void PrintOn(std::ostream& out) const = 0;
};

class KQ_IThrowable : public virtual KQ_IInterface {
 public:
  // Throws a copy of the object as its own most derived class.
  [[noreturn]] virtual void KQ_Raise() const = 0;
};
