#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

#include "platform/kqtypes/kqtypes.h"
#include "platform/kqtypes/test_exceptions.h"

namespace {

TEST(KQ_TClass, GetClassObjectFindsOrCreatesByName) {
  KQ_TClass* parent = KQ_TObject::KQ_ClassObject();
  KQ_TClass* first = KQ_TClass::GetClassObject(false, "Test_Record", 8, parent, nullptr, nullptr);
  KQ_TClass* again = KQ_TClass::GetClassObject(true, "Test_Record", 99, nullptr, nullptr, nullptr);
  EXPECT_EQ(first, again);
  EXPECT_STREQ(first->Name(), "Test_Record");
  EXPECT_EQ(first->Size(), 8u);
  EXPECT_EQ(first->Parent(), parent);
  EXPECT_FALSE(first->announced);
  EXPECT_EQ(KQ_TClass::Find("Test_Record"), first);
  EXPECT_EQ(KQ_TClass::Find("Test_Missing"), nullptr);
  EXPECT_EQ(first->Create(), nullptr);
  EXPECT_THROW(KQ_TClass::GetClassObject(false, "", 1, nullptr, nullptr, nullptr),
               std::invalid_argument);
}

TEST(KQ_TClass, ConcurrentRegistrationGivesOneRecord) {
  std::vector<std::thread> threads;
  std::vector<KQ_TClass*> seen(8);
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&seen, i] {
      for (int round = 0; round < 200; ++round) {
        seen[i] = KQ_TClass::GetClassObject(false, "Test_Concurrent", 1, nullptr, nullptr, nullptr);
        KQ_TClass::GetClassObject(false, ("Test_Concurrent" + std::to_string(round)).c_str(), 1,
                                  nullptr, nullptr, nullptr);
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(std::set<KQ_TClass*>(seen.begin(), seen.end()).size(), 1u);
}

TEST(KQ_TClass, RegisteredNamesAndChains) {
  ASSERT_TRUE(__KQ_INITIALIZATION_FUNCTION_kqtypes__());
  for (const char* name : {"KQ_TObject", "KQ_TString", "KQ_TDict", "KQ_TArray", "KQ_TList",
                           "KQ_TURL", "KQ_TTree", "KQ_TBool", "KQ_TInt", "KQ_EException"}) {
    ASSERT_NE(KQ_TClass::Find(name), nullptr) << name;
  }
  EXPECT_EQ(Test_EUnmakeable::KQ_ClassObject()->Chain(),
            (std::vector<std::string>{"Test_EUnmakeable", "Test_EFailure", "KQ_EException",
                                      "KQ_TObject"}));
  KQ_TObject* made = KQ_TClass::Find("KQ_TDict")->Create();
  ASSERT_NE(made, nullptr);
  EXPECT_STREQ(made->ClassName(), "KQ_TDict");
  delete made;
}

TEST(KQ_DynamicInfo, NullGivesTheRecordAndAnnouncesIt) {
  Test_EFailure failure("x");
  KQ_TClass* record = Test_EFailure::KQ_ClassObject();
  record->announced = false;
  EXPECT_EQ(failure.KQ_DynamicInfo(nullptr), record);
  EXPECT_TRUE(record->announced);
  EXPECT_EQ(failure.KQ_DynamicInfo(nullptr), record);
  EXPECT_TRUE(record->announced);
}

TEST(KQ_DynamicInfo, NamesResolveThroughTheParentChain) {
  Test_EUnmakeable error("deep");
  const KQ_IInterface& asInterface = error;
  EXPECT_EQ(asInterface.KQ_DynamicInfo("Test_EUnmakeable"), static_cast<void*>(&error));
  EXPECT_EQ(asInterface.KQ_DynamicInfo("Test_EFailure"),
            static_cast<void*>(static_cast<Test_EFailure*>(&error)));
  EXPECT_EQ(asInterface.KQ_DynamicInfo("KQ_EException"),
            static_cast<void*>(static_cast<KQ_EException*>(&error)));
  EXPECT_EQ(asInterface.KQ_DynamicInfo("KQ_TObject"),
            static_cast<void*>(static_cast<KQ_TObject*>(&error)));
  EXPECT_EQ(asInterface.KQ_DynamicInfo("KQ_TString"), nullptr);
  EXPECT_EQ(asInterface.KQ_Cast(nullptr), nullptr);
  EXPECT_STREQ(asInterface.ClassName(), "Test_EUnmakeable");
  EXPECT_EQ(asInterface.KQ_CompleteObject(), static_cast<KQ_TObject*>(&error));
}

TEST(DynamicCast, ByClassNameThroughInterfacesAndAnys) {
  KQ_TAny any(Test_EUnmakeable("m"));
  const KQ_EException* asBase = any.DynamicCast<KQ_EException>();
  ASSERT_NE(asBase, nullptr);
  EXPECT_EQ(asBase->KQ_Message().Text(), "m");
  EXPECT_NE(any.DynamicCast<Test_EFailure>(), nullptr);
  EXPECT_EQ(any.DynamicCast<KQ_TString>(), nullptr);
  EXPECT_EQ(KQ_TAny().DynamicCast<KQ_TString>(), nullptr);
  KQ_TString text("t");
  const KQ_IPackable& packable = text;
  EXPECT_EQ(KQ_TObject::DynamicCast<KQ_TString>(&packable), &text);
  EXPECT_EQ(KQ_TObject::DynamicCast<KQ_TDict>(&packable), nullptr);
  EXPECT_EQ(KQ_TObject::DynamicCast<KQ_TString>(static_cast<const KQ_IInterface*>(nullptr)),
            nullptr);
}

TEST(KQ_TObject, SuperclassesAndInterfaces) {
  Test_EUnmakeable error("x");
  EXPECT_TRUE(error.HasSuperclass("Test_EFailure"));
  EXPECT_TRUE(error.HasSuperclass("KQ_EException"));
  EXPECT_TRUE(error.HasSuperclass("KQ_TObject"));
  EXPECT_FALSE(error.HasSuperclass("Test_EUnmakeable"));
  EXPECT_FALSE(error.HasSuperclass(nullptr));
  EXPECT_TRUE(error.HasInterface("KQ_IThrowable"));
  EXPECT_TRUE(error.HasInterface("KQ_IPackable"));
  KQ_TString text;
  EXPECT_FALSE(text.HasInterface("KQ_IThrowable"));
  EXPECT_TRUE(text.HasInterface("KQ_IPrintable"));
  EXPECT_FALSE(text.HasInterface("KQ_INothing"));
}

}  // namespace
