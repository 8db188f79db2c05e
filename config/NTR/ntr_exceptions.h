// The exceptions the configuration service "NTR" raises: NTR_EConfigException, the base of
// its failures, NTR_EIllegalPath for a malformed key and NTR_EValueNotSet for a key that
// has no value. They carry what KQ_EException carries and travel between processes like it;
// each packs its base class's part inside a section named after that base.
//
// A class's record is made on first use (KQ_DynamicInfo, packing); a receiving process makes
// sure the records exist by calling RegisterNtrExceptions (NTR_TProxy does so). Plain
// values: copy them freely, share them read-only.
#pragma once

#include "platform/kqtypes/kq_exception.h"
#include "platform/kqtypes/kq_exception_class.h"

class NTR_EConfigException : public KQ_TExceptionClass<NTR_EConfigException, KQ_EException> {
 public:
  static constexpr const char* KQ_ClassName = "NTR_EConfigException";
  // The record of "NTR_EConfigException" (parent: KQ_EException's), its leading flag set.
  static KQ_TClass* KQ_ClassObject();
  // KQ_EException's constructors: (message, data, file, line).
  using KQ_TExceptionClass::KQ_TExceptionClass;
};

class NTR_EIllegalPath : public KQ_TExceptionClass<NTR_EIllegalPath, NTR_EConfigException> {
 public:
  static constexpr const char* KQ_ClassName = "NTR_EIllegalPath";
  using KQ_TExceptionClass::KQ_TExceptionClass;
};

class NTR_EValueNotSet : public KQ_TExceptionClass<NTR_EValueNotSet, NTR_EConfigException> {
 public:
  static constexpr const char* KQ_ClassName = "NTR_EValueNotSet";
  using KQ_TExceptionClass::KQ_TExceptionClass;
};

// Makes the records of the three classes, so that this process re-creates them when a reply
// carries one.
void RegisterNtrExceptions();
