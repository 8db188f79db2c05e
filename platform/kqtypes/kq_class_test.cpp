#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <thread>
#include <vector>

#include "platform/kqtypes/kqtypes.h"
#include "platform/kqtypes/test_dynamic_info.h"
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
  EXPECT_TRUE(
      (AnswersWithEachPart<Test_EUnmakeable, Test_EFailure, KQ_EException, KQ_TObject>(error)));
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

// A value of each library value class, and one of the same class with other content.
struct ValuePair {
  KQ_TAny value;
  KQ_TAny other;
};

std::vector<ValuePair> ValuePairs() {
  KQ_TDict dict;
  dict["k"] = 1;
  KQ_TArray array;
  array.Append("a");
  KQ_TList list;
  list.Append(2);
  KQ_TTree tree;
  tree["n"] = "v";
  std::vector<ValuePair> pairs;
  pairs.push_back({KQ_TString("a"), KQ_TString("b")});
  pairs.push_back({KQ_TBool(true), KQ_TBool(false)});
  pairs.push_back({KQ_TInt(1), KQ_TInt(2)});
  pairs.push_back({dict, KQ_TDict()});
  pairs.push_back({array, KQ_TArray()});
  pairs.push_back({list, KQ_TList()});
  pairs.push_back({tree, KQ_TTree()});
  pairs.push_back({KQ_TURL(KQ_TString("file:///a")), KQ_TURL(KQ_TString("file:///b"))});
  return pairs;
}

TEST(KQ_TValueClass, RecordCastsCloneCompareAndMoveOfEveryValueClass) {
  for (ValuePair& pair : ValuePairs()) {
    KQ_IPackable& value = *pair.value.Get();
    const char* name = value.ClassName();
    SCOPED_TRACE(name);
    const KQ_TClass* record = value.ClassObject();
    EXPECT_EQ(record, KQ_TClass::Find(name));
    EXPECT_EQ(record->Parent(), KQ_TObject::KQ_ClassObject());
    void* complete = value.KQ_CompleteObject();
    EXPECT_EQ(value.KQ_DynamicInfo(name), complete);
    EXPECT_EQ(value.KQ_DynamicInfo("KQ_TObject"), complete);
    EXPECT_EQ(value.KQ_DynamicInfo("KQ_EException"), nullptr);
    std::unique_ptr<KQ_TObject> made(record->Create());
    ASSERT_NE(made, nullptr);
    EXPECT_STREQ(made->ClassName(), name);

    std::unique_ptr<KQ_IPackable> copy(value.KQ_Clone());
    EXPECT_STREQ(copy->ClassName(), name);
    EXPECT_TRUE(copy->KQ_IsIdent(value));
    KQ_IPackable& other = *pair.other.Get();
    EXPECT_FALSE(other.KQ_IsIdent(value));
    other.KQ_Move(*copy);
    EXPECT_TRUE(other.KQ_IsIdent(value));

    Test_EFailure failure("x");
    try {
      other.KQ_Move(failure);
      ADD_FAILURE() << "moved a Test_EFailure in";
    } catch (const KQ_EException& error) {
      EXPECT_EQ(error.KQ_Message().Text(),
                std::string("cannot move a Test_EFailure into a ") + name);
    }
    EXPECT_TRUE(other.KQ_IsIdent(value));
  }
  EXPECT_FALSE(KQ_TString("a").KQ_IsIdent(KQ_TURL(KQ_TString("a"))));
}

}  // namespace
