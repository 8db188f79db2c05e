#include <gtest/gtest.h>

#include "config/NTR/Server/ntr_tproxy.h"
#include "platform/kqtypes/kqtypes.h"
#include "platform/kqtypes/test_dynamic_info.h"
#include "tests/support/fake_ntr.h"
#include "tests/support/server_environment.h"

namespace {

std::vector<std::string> Keys(const KQ_TDict& dict) {
  std::vector<std::string> keys;
  for (const KQ_TDict::Entry& entry : dict)
    keys.push_back(entry.key.Text());
  return keys;
}

class ProxyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ntr_.values["A/B"] = "value";
    ntr_.values["/A/B"] = "with slash";
    ntr_.values[""] = "empty key";
    KQ_TList names;
    names.Append("B");
    ntr_.listings["A/"] = names;
    ntr_.raises["Bad//Key"] = KQ_TAny(NTR_EIllegalPath("the key has an empty part", KQ_TAny()));
    ntr_.raises["Broken"] = KQ_TAny(NTR_EConfigException("the store is broken", KQ_TAny()));
    ntr_.Start(environment_.NtrPort());
    proxy_.Connect("localhost", std::nullopt);
  }

  vtps_test::ServerEnvironment environment_;
  vtps_test::FakeNtr ntr_;
  NTR_TProxy proxy_;
};

TEST_F(ProxyTest, GetSendsTheKeyAsGivenInAFixedRequest) {
  EXPECT_TRUE(proxy_.Get("A/B") == KQ_TAny("value"));
  EXPECT_TRUE(proxy_.Get("/A/B") == KQ_TAny("with slash"));
  EXPECT_TRUE(proxy_.Get("") == KQ_TAny("empty key"));
  EXPECT_TRUE(proxy_.Get("A/B") == KQ_TAny("value"));  // no cache: a second request
  std::vector<KQ_TDict> requests = ntr_.Requests();
  ASSERT_EQ(requests.size(), 4u);
  for (const KQ_TDict& request : requests) {
    EXPECT_EQ(Keys(request), (std::vector<std::string>{"M", "P1", "P2"}));
    EXPECT_TRUE(request["M"] == KQ_TAny("[]"));
    EXPECT_TRUE(request["P2"] == KQ_TAny(false));
  }
  EXPECT_TRUE(requests[1]["P1"] == KQ_TAny("/A/B"));
  EXPECT_TRUE(requests[2]["P1"] == KQ_TAny(""));
}

TEST_F(ProxyTest, KeysAtCallsTheListingMethod) {
  KQ_TAny names = proxy_.KeysAt("A/");
  ASSERT_NE(names.DynamicCast<KQ_TList>(), nullptr);
  EXPECT_EQ(names.DynamicCast<KQ_TList>()->Count(), 1u);
  KQ_TDict request = ntr_.Requests().back();
  EXPECT_EQ(Keys(request), (std::vector<std::string>{"M", "P1"}));
  EXPECT_TRUE(request["M"] == KQ_TAny("KeysAt"));
  EXPECT_TRUE(request["P1"] == KQ_TAny("A/"));
}

TEST_F(ProxyTest, ServiceExceptionsArriveAsTheirOwnClass) {
  try {
    proxy_.Get("Missing");
    ADD_FAILURE() << "no exception";
  } catch (const NTR_EValueNotSet& error) {
    EXPECT_EQ(error.KQ_Message().Text(), "no value for Missing");
  }
  EXPECT_THROW(proxy_.Get("Bad//Key"), NTR_EIllegalPath);
  try {
    proxy_.Get("Broken");
    ADD_FAILURE() << "no exception";
  } catch (const NTR_EConfigException& error) {
    EXPECT_STREQ(error.ClassName(), "NTR_EConfigException");
    EXPECT_EQ(error.KQ_Message().Text(), "the store is broken");
  }
  EXPECT_THROW(proxy_.KeysAt("Nowhere/"), NTR_EValueNotSet);
}

TEST(NTR_TProxy, HostIsTheOwnersElseKqServerElseEmpty) {
  const std::optional<std::string> kqServer = "config-host";
  EXPECT_EQ(NTR_TProxy::ChooseHost("own-host", kqServer).Text(), "own-host");
  EXPECT_EQ(NTR_TProxy::ChooseHost("", kqServer).Text(), "config-host");
  EXPECT_EQ(NTR_TProxy::ChooseHost(nullptr, kqServer).Text(), "config-host");
  EXPECT_EQ(NTR_TProxy::ChooseHost("", std::nullopt).Text(), "");
}

TEST(NTR_Exceptions, DynamicInfoAnswersThroughTheParentChain) {
  RegisterNtrExceptions();
  NTR_EValueNotSet error;
  const KQ_IInterface& object = error;
  EXPECT_TRUE((AnswersWithEachPart<NTR_EValueNotSet, NTR_EConfigException, KQ_EException>(error)));
  EXPECT_EQ(object.KQ_DynamicInfo("NTR_EIllegalPath"), nullptr);
  auto* record = static_cast<KQ_TClass*>(object.KQ_DynamicInfo(nullptr));
  EXPECT_STREQ(record->Name(), "NTR_EValueNotSet");
  EXPECT_TRUE(record->announced);
  EXPECT_EQ(record->Parent(), KQ_TClass::Find("NTR_EConfigException"));
  EXPECT_TRUE(record->Parent()->announced);
  EXPECT_EQ(record->Parent()->Parent(), KQ_EException::KQ_ClassObject());
  ASSERT_NE(KQ_TClass::Find("NTR_EIllegalPath"), nullptr);
  EXPECT_EQ(KQ_TClass::Find("NTR_EIllegalPath")->Chain(),
            (std::vector<std::string>{"NTR_EIllegalPath", "NTR_EConfigException", "KQ_EException",
                                      "KQ_TObject"}));
}

TEST(NTR_Exceptions, RecordWhereTheyAreMade) {
  NTR_EIllegalPath error("bad key", KQ_TAny());
  int line = __LINE__ - 1;
  EXPECT_EQ(error.KQ_ExceptionLine(), line);
  EXPECT_TRUE(std::string(error.KQ_ExceptionFile()).ends_with("ntr_proxy_test.cpp"))
      << error.KQ_ExceptionFile();
}

TEST(NTR_Exceptions, PackTheirBaseInsideNamedSections) {
  RegisterNtrExceptions();
  NTR_EIllegalPath error("bad key", KQ_TAny("A//B"));
  KQ_TBinaryPacker packer;
  error.KQ_Pack(packer);
  KQ_TBinaryUnpacker unpacker(packer.Bytes());
  unpacker.OpenSection("NTR_EConfigException");
  unpacker.OpenSection("KQ_EException");
  EXPECT_EQ(unpacker.UnpackText(), "bad key");

  for (const KQ_TAny& original :
       {KQ_TAny(error), KQ_TAny(NTR_EValueNotSet()), KQ_TAny(NTR_EConfigException("c", 3))}) {
    KQ_TAny back = KQ_FromBytes(KQ_ToBytes(original));
    EXPECT_STREQ(back.ClassName(), original.ClassName());
    EXPECT_TRUE(back == original);
  }
}

}  // namespace
