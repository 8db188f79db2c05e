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
#include "platform/kqtypes/kq_value_class.h"

class NTR_EConfigException : public KQ_TExceptionClass<NTR_EConfigException, KQ_EException> {
 public:
  static constexpr const char* KQ_ClassName = "NTR_EConfigException";
  // The record of "NTR_EConfigException" (parent: KQ_EException's), its leading flag set.
  static KQ_TClass* KQ_ClassObject();

  NTR_EConfigException() = default;
  NTR_EConfigException(const KQ_TString& message, const KQ_TAny& data,
                       const char* file = __builtin_FILE(), int line = __builtin_LINE())
      : KQ_TExceptionClass(message, data, file, line) {}
};

class NTR_EIllegalPath : public KQ_TExceptionClass<NTR_EIllegalPath, NTR_EConfigException> {
 public:
  static constexpr const char* KQ_ClassName = "NTR_EIllegalPath";

  NTR_EIllegalPath() = default;
  NTR_EIllegalPath(const KQ_TString& message, const KQ_TAny& data,
                   const char* file = __builtin_FILE(), int line = __builtin_LINE())
      : KQ_TExceptionClass(message, data, file, line) {}
};

class NTR_EValueNotSet : public KQ_TExceptionClass<NTR_EValueNotSet, NTR_EConfigException> {
 public:
  static constexpr const char* KQ_ClassName = "NTR_EValueNotSet";
};

// Makes the records of the three classes, so that this process re-creates them when a reply
// carries one.
void RegisterNtrExceptions();
