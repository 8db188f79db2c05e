#include <gtest/gtest.h>

#include <stdexcept>

#include "config/NTR/ntr_exceptions.h"
#include "platform/kqtypes/kqtypes.h"
#include "tools/ntr-server/config_store.h"

namespace {

const char* const kSample = R"(<?xml version="1.0" encoding="utf-8"?>
<!-- leading comment -->
<configuration>
  <Servers>
    <VantricProcessServer>
      <Configuration>
        <ProgramDirectory>  procs/  </ProgramDirectory>
        <WorkingDirectory type="url">file:///var/jobs</WorkingDirectory>
        <!-- a comment inside a folder -->
        <Workers type="int">-4</Workers>
        <Verbose type="bool">true</Verbose>
        <Empty/>
      </Configuration>
    </VantricProcessServer>
  </Servers>
</configuration>
)";

ConfigStore Sample() {
  return ConfigStore::FromXml(kSample, "sample.xml");
}

TEST(ConfigStore, LeavesHaveTheirTypes) {
  ConfigStore store = Sample();
  const std::string folder = "Servers/VantricProcessServer/Configuration/";
  EXPECT_TRUE(store.Get(folder + "ProgramDirectory") == KQ_TAny("procs/"));
  EXPECT_TRUE(store.Get("/" + folder + "ProgramDirectory") == KQ_TAny("procs/"));
  KQ_TAny url = store.Get(folder + "WorkingDirectory");
  ASSERT_NE(url.DynamicCast<KQ_TURL>(), nullptr);
  EXPECT_EQ(url.DynamicCast<KQ_TURL>()->Text().Text(), "file:///var/jobs");
  EXPECT_TRUE(store.Get(folder + "Workers") == KQ_TAny(-4));
  EXPECT_TRUE(store.Get(folder + "Verbose") == KQ_TAny(true));
  EXPECT_TRUE(store.Get(folder + "Empty") == KQ_TAny(""));
}

TEST(ConfigStore, FoldersAnswerTreesAndListTheirNamesInOrder) {
  ConfigStore store = Sample();
  for (const char* key : {"Servers/VantricProcessServer/Configuration/",
                          "Servers/VantricProcessServer/Configuration"}) {
    KQ_TAny folder = store.Get(key);
    ASSERT_NE(folder.DynamicCast<KQ_TTree>(), nullptr) << key;
    EXPECT_EQ(folder.DynamicCast<KQ_TTree>()->Count(), 5u);
  }
  KQ_TList names = store.KeysAt("Servers/VantricProcessServer/Configuration/");
  std::vector<std::string> seen;
  for (KQ_TConstIterator it(names); !it.IsDone(); it.Next())
    seen.push_back(it.Value().DynamicCast<KQ_TString>()->Text());
  EXPECT_EQ(seen, (std::vector<std::string>{"ProgramDirectory", "WorkingDirectory", "Workers",
                                            "Verbose", "Empty"}));
  EXPECT_EQ(store.KeysAt("").Count(), 1u);
  EXPECT_NE(store.Get("/").DynamicCast<KQ_TTree>(), nullptr);
}

TEST(ConfigStore, BadKeysRaiseTheServicesExceptions) {
  ConfigStore store = Sample();
  EXPECT_THROW(store.Get("Servers//VantricProcessServer"), NTR_EIllegalPath);
  EXPECT_THROW(store.Get("//Servers"), NTR_EIllegalPath);
  EXPECT_THROW(store.Get("Servers/Missing"), NTR_EValueNotSet);
  EXPECT_THROW(store.Get("Servers/VantricProcessServer/Configuration/Workers/"), NTR_EValueNotSet);
  EXPECT_THROW(store.Get("Servers/VantricProcessServer/Configuration/Workers/x"), NTR_EValueNotSet);
  EXPECT_THROW(store.KeysAt("Servers/VantricProcessServer/Configuration/Workers"),
               NTR_EValueNotSet);
  try {
    store.Get("Servers/Missing");
  } catch (const NTR_EValueNotSet& error) {
    EXPECT_NE(error.KQ_Message().Text().find("Servers/Missing"), std::string::npos);
  }
}

TEST(ConfigStore, UnusableFilesAreRefusedWithFileLineAndCause) {
  struct Case {
    const char* xml;
    const char* message;
  };
  const Case cases[] = {
      {"<configuration>\n<a>x</b>\n<c>", "file.xml:3:"},
      {"<settings/>", "file.xml: the root element must be <configuration>"},
      {"<configuration/><configuration/>", "the root element must be <configuration>"},
      {"<configuration><n type=\"int\">4x</n></configuration>",
       "n is of type int but holds \"4x\""},
      {"<configuration><b type=\"bool\">yes</b></configuration>", "b is of type bool"},
      {"<configuration><u type=\"uri\">x</u></configuration>", "unknown type \"uri\""},
      {"<configuration><u kind=\"x\">x</u></configuration>", "unknown attribute \"kind\""},
      {"<configuration><f><a>1</a></f><f>2</f></configuration>", "f is given twice"},
      {"<configuration><f type=\"url\"><a>1</a></f></configuration>", "f is a folder"},
  };
  for (const Case& c : cases) {
    try {
      ConfigStore::FromXml(c.xml, "file.xml");
      ADD_FAILURE() << "accepted " << c.xml;
    } catch (const std::runtime_error& error) {
      EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos)
          << c.xml << " -> " << error.what();
    }
  }
  std::string deep = "<configuration>";
  for (int i = 0; i < 5000; ++i)
    deep += "<a>";
  EXPECT_THROW(ConfigStore::FromXml(deep, "deep.xml"), std::runtime_error);
  EXPECT_THROW(ConfigStore::FromFile("/no/such/file.xml"), std::runtime_error);
}

}  // namespace
