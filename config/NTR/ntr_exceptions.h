// The exceptions the configuration service "NTR" raises: NTR_EConfigException, the base of
// its failures, NTR_EIllegalPath for a malformed key and NTR_EValueNotSet for a key that
// has no value. They carry what KQ_EException carries and travel between processes like it;
// each packs its base class's part inside a section named after that base.
//
// A class's record is obtained (and made on first use) each time it answers KQ_DynamicInfo
// or packs; a receiving process makes sure the records exist by calling RegisterNtrExceptions
// (NTR_TProxy does so). Plain values: copy them freely, share them read-only.
#pragma once

#include "platform/kqtypes/kq_exception.h"

class NTR_EConfigException : public KQ_EException {
 public:
  static constexpr const char* KQ_ClassName = "NTR_EConfigException";
  // The record of "NTR_EConfigException" (parent: KQ_EException's), its leading flag set.
  static KQ_TClass* KQ_ClassObject();

  NTR_EConfigException() = default;
  NTR_EConfigException(const NTR_EConfigException&) = default;
  NTR_EConfigException(const KQ_TString& message, const KQ_TAny& data,
                       const char* file = __builtin_FILE(), int line = __builtin_LINE())
      : KQ_EException(message, data, file, line) {}
  ~NTR_EConfigException() override = default;

  NTR_EConfigException* KQ_CompleteObject() const override {
    return const_cast<NTR_EConfigException*>(this);
  }
  void* KQ_DynamicInfo(const char* className) const override;
  [[noreturn]] void KQ_Raise() const override { throw NTR_EConfigException(*this); }
  // The KQ_EException part inside a section "KQ_EException".
  void KQ_Pack(KQ_IPacking& out) const override;
  void KQ_Unpack(KQ_IUnpacking& in) override;
  KQ_IPackable* KQ_Clone() const override { return new NTR_EConfigException(*this); }

 protected:
  // The record, without touching its leading flag.
  static KQ_TClass* Record();
  // The body both subclasses pack: the NTR_EConfigException part inside a section named
  // after it.
  void PackAsSubclass(KQ_IPacking& out) const;
  void UnpackAsSubclass(KQ_IUnpacking& in);
};

class NTR_EIllegalPath : public NTR_EConfigException {
 public:
  static constexpr const char* KQ_ClassName = "NTR_EIllegalPath";
  static KQ_TClass* KQ_ClassObject();

  NTR_EIllegalPath() = default;
  NTR_EIllegalPath(const NTR_EIllegalPath&) = default;
  NTR_EIllegalPath(const KQ_TString& message, const KQ_TAny& data,
                   const char* file = __builtin_FILE(), int line = __builtin_LINE())
      : NTR_EConfigException(message, data, file, line) {}
  ~NTR_EIllegalPath() override = default;

  NTR_EIllegalPath* KQ_CompleteObject() const override {
    return const_cast<NTR_EIllegalPath*>(this);
  }
  void* KQ_DynamicInfo(const char* className) const override;
  [[noreturn]] void KQ_Raise() const override { throw NTR_EIllegalPath(*this); }
  void KQ_Pack(KQ_IPacking& out) const override { PackAsSubclass(out); }
  void KQ_Unpack(KQ_IUnpacking& in) override { UnpackAsSubclass(in); }
  KQ_IPackable* KQ_Clone() const override { return new NTR_EIllegalPath(*this); }
};

class NTR_EValueNotSet : public NTR_EConfigException {
 public:
  static constexpr const char* KQ_ClassName = "NTR_EValueNotSet";
  static KQ_TClass* KQ_ClassObject();

  NTR_EValueNotSet() = default;
  NTR_EValueNotSet(const NTR_EValueNotSet&) = default;
  ~NTR_EValueNotSet() override = default;

  NTR_EValueNotSet* KQ_CompleteObject() const override {
    return const_cast<NTR_EValueNotSet*>(this);
  }
  void* KQ_DynamicInfo(const char* className) const override;
  [[noreturn]] void KQ_Raise() const override { throw NTR_EValueNotSet(*this); }
  void KQ_Pack(KQ_IPacking& out) const override { PackAsSubclass(out); }
  void KQ_Unpack(KQ_IUnpacking& in) override { UnpackAsSubclass(in); }
  KQ_IPackable* KQ_Clone() const override { return new NTR_EValueNotSet(*this); }
};

// Makes the records of the three classes, so that this process re-creates them when a reply
// carries one.
void RegisterNtrExceptions();
