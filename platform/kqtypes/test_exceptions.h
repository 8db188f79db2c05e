// Exception classes for the library's own tests: a registered subclass of KQ_EException and
// one below it, written the way a user of the library writes its exception classes.
#pragma once

#include "platform/kqtypes/kq_exception_class.h"
#include "platform/kqtypes/kqtypes.h"

class Test_EFailure : public KQ_TExceptionClass<Test_EFailure, KQ_EException> {
 public:
  static constexpr const char* KQ_ClassName = "Test_EFailure";
  Test_EFailure() = default;
  explicit Test_EFailure(const KQ_TString& message) : KQ_TExceptionClass(message) {}
};

// Registered with a record but, unlike Test_EFailure, without a factory: a receiver cannot
// make one and falls back to its parent.
class Test_EUnmakeable : public KQ_TExceptionClass<Test_EUnmakeable, Test_EFailure> {
 public:
  static constexpr const char* KQ_ClassName = "Test_EUnmakeable";
  static KQ_TClass* KQ_ClassObject() {
    static KQ_TClass* record =
        KQ_TClass::GetClassObject(false, KQ_ClassName, sizeof(Test_EUnmakeable),
                                  Test_EFailure::KQ_ClassObject(), nullptr, nullptr);
    return record;
  }
  explicit Test_EUnmakeable(const KQ_TString& message) : KQ_TExceptionClass(message) {}
};
