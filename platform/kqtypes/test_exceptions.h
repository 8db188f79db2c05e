// Exception classes for the library's own tests: a registered subclass of KQ_EException and
// one below it, written the way a user of the library writes its exception classes.
#pragma once

#include "platform/kqtypes/kqtypes.h"

class Test_EFailure : public KQ_EException {
 public:
  static constexpr const char* KQ_ClassName = "Test_EFailure";
  static KQ_TClass* KQ_ClassObject() {
    static KQ_TClass* record = KQ_TClass::GetClassObject(
        false, KQ_ClassName, sizeof(Test_EFailure), KQ_EException::KQ_ClassObject(),
        +[]() -> KQ_TObject* { return new Test_EFailure; }, nullptr);
    return record;
  }
  Test_EFailure() = default;
  explicit Test_EFailure(const KQ_TString& message) : KQ_EException(message) {}
  void* KQ_DynamicInfo(const char* className) const override {
    return KQ_AnswerDynamicInfo<KQ_EException>(this, KQ_ClassObject(), className);
  }
  [[noreturn]] void KQ_Raise() const override { throw Test_EFailure(*this); }
  void KQ_Pack(KQ_IPacking& out) const override {
    out.OpenSection(KQ_EException::KQ_ClassName);
    KQ_EException::KQ_Pack(out);
    out.CloseSection(KQ_EException::KQ_ClassName);
  }
  void KQ_Unpack(KQ_IUnpacking& in) override {
    in.OpenSection(KQ_EException::KQ_ClassName);
    KQ_EException::KQ_Unpack(in);
    in.CloseSection(KQ_EException::KQ_ClassName);
  }
  KQ_IPackable* KQ_Clone() const override { return new Test_EFailure(*this); }
};

// Registered with a record but, unlike Test_EFailure, without a factory: a receiver cannot
// make one and falls back to its parent.
class Test_EUnmakeable : public Test_EFailure {
 public:
  static constexpr const char* KQ_ClassName = "Test_EUnmakeable";
  static KQ_TClass* KQ_ClassObject() {
    static KQ_TClass* record =
        KQ_TClass::GetClassObject(false, KQ_ClassName, sizeof(Test_EUnmakeable),
                                  Test_EFailure::KQ_ClassObject(), nullptr, nullptr);
    return record;
  }
  explicit Test_EUnmakeable(const KQ_TString& message) : Test_EFailure(message) {}
  void* KQ_DynamicInfo(const char* className) const override {
    return KQ_AnswerDynamicInfo<Test_EFailure>(this, KQ_ClassObject(), className);
  }
  [[noreturn]] void KQ_Raise() const override { throw Test_EUnmakeable(*this); }
  void KQ_Pack(KQ_IPacking& out) const override {
    out.OpenSection(Test_EFailure::KQ_ClassName);
    Test_EFailure::KQ_Pack(out);
    out.CloseSection(Test_EFailure::KQ_ClassName);
  }
  void KQ_Unpack(KQ_IUnpacking& in) override {
    in.OpenSection(Test_EFailure::KQ_ClassName);
    Test_EFailure::KQ_Unpack(in);
    in.CloseSection(Test_EFailure::KQ_ClassName);
  }
  KQ_IPackable* KQ_Clone() const override { return new Test_EUnmakeable(*this); }
};
