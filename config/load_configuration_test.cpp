#include <gtest/gtest.h>

#include "config/NTR/ntr_exceptions.h"
#include "config/load_configuration.h"
#include "platform/kqtypes/kqtypes.h"
#include "tests/support/recording_debug_channel.h"

namespace {

const std::string kFolder = "Servers/VantricProcessServer/Configuration/";

KQ_TList Names(std::initializer_list<KQ_TAny> names) {
  KQ_TList list;
  for (const KQ_TAny& name : names)
    list.Append(name);
  return list;
}

// The configuration service as two tables, answering as the service does and keeping the
// order of what was asked ("KeysAt <key>" for listings).
class TableSource : public ConfigurationSource {
 public:
  std::map<std::string, KQ_TAny> values;
  std::map<std::string, KQ_TAny> listings;
  std::vector<std::string> asked;

  KQ_TAny Get(const KQ_TString& key) override {
    asked.push_back(key.Text());
    return Find(values, key);
  }
  KQ_TAny KeysAt(const KQ_TString& folderKey) override {
    asked.push_back("KeysAt " + folderKey.Text());
    return Find(listings, folderKey);
  }

 private:
  static KQ_TAny Find(const std::map<std::string, KQ_TAny>& table, const KQ_TString& key) {
    auto found = table.find(key.Text());
    if (found == table.end())
      throw NTR_EValueNotSet("no value at " + key, KQ_TAny());
    return found->second;
  }
};

class LoadConfigurationTest : public ::testing::Test {
 protected:
  LoadConfigurationTest() {
    ntr_.values[kFolder + "ProgPathEnvVar"] = "VTPS_HOME";
    ntr_.values[kFolder + "ProgramDirectory"] = "procs/";
    ntr_.values[kFolder + "WorkingDirectory"] = KQ_TURL(KQ_TString("file:///var/jobs"));
    ntr_.values[kFolder] = KQ_TTree();
    ntr_.listings[kFolder] = Names({"ProgPathEnvVar", "ProgramDirectory", "WorkingDirectory",
                                    "Convert", "MyDirectoryCopy", "Merge"});
    ntr_.values[kFolder + "Convert"] = "convert.sh";
    ntr_.values[kFolder + "Merge"] = "merge.sh";
    ntr_.values[kFolder + "MyDirectoryCopy"] = "never.sh";
  }

  bool Load() {
    return LoadServerConfiguration(
        debug_, ntr_, {progPathEnvVar_, programDirectory_, workingDirectory_, processors_});
  }

  const std::vector<std::string>& Asked() const { return ntr_.asked; }

  TableSource ntr_;
  vtps_test::RecordingDebugChannel debug_{1};
  KQ_TString progPathEnvVar_{"before"};
  KQ_TString programDirectory_;
  KQ_TURL workingDirectory_;
  std::map<KQ_TString, KQ_TString> processors_;
};

TEST_F(LoadConfigurationTest, ReadsEveryKeyInOrder) {
  EXPECT_TRUE(Load());
  EXPECT_EQ(progPathEnvVar_.Text(), "VTPS_HOME");
  EXPECT_EQ(programDirectory_.Text(), "procs/");
  EXPECT_EQ(workingDirectory_.Text().Text(), "file:///var/jobs");
  // A listed ProgPathEnvVar does not contain "Directory", so it becomes a processor too.
  std::map<KQ_TString, KQ_TString> expected{
      {"Convert", "convert.sh"}, {"Merge", "merge.sh"}, {"ProgPathEnvVar", "VTPS_HOME"}};
  EXPECT_EQ(processors_, expected);
  EXPECT_EQ(Asked(), (std::vector<std::string>{
                         kFolder + "ProgPathEnvVar", kFolder + "ProgramDirectory",
                         kFolder + "WorkingDirectory", kFolder, "KeysAt " + kFolder,
                         kFolder + "ProgPathEnvVar", kFolder + "Convert", kFolder + "Merge"}));
}

TEST_F(LoadConfigurationTest, MistypedProgPathEnvVarBecomesEmpty) {
  ntr_.values[kFolder + "ProgPathEnvVar"] = 42;
  EXPECT_TRUE(Load());
  EXPECT_TRUE(progPathEnvVar_.Empty());
  EXPECT_EQ(programDirectory_.Text(), "procs/");
  EXPECT_FALSE(processors_.empty());
  EXPECT_TRUE(debug_.Lines().empty());
}

TEST_F(LoadConfigurationTest, MissingProgPathEnvVarBecomesEmpty) {
  ntr_.values.erase(kFolder + "ProgPathEnvVar");
  ntr_.listings[kFolder] = Names({"Convert"});
  EXPECT_TRUE(Load());
  EXPECT_TRUE(progPathEnvVar_.Empty());
  EXPECT_EQ(processors_.size(), 1u);
}

TEST_F(LoadConfigurationTest, MistypedProgramDirectoryStopsTheLoad) {
  ntr_.values[kFolder + "ProgramDirectory"] = KQ_TURL(KQ_TString("file:///not/a/string"));
  EXPECT_FALSE(Load());
  EXPECT_EQ(debug_.Lines(),
            (std::vector<vtps_test::DebugLine>{
                {0, "VantricProcessServer Exception when retrieving ProgramDirectory from NTR."}}));
  EXPECT_TRUE(programDirectory_.Empty());
  EXPECT_TRUE(workingDirectory_.Text().Empty());
  EXPECT_TRUE(processors_.empty());
  // WorkingDirectory is not even read.
  EXPECT_EQ(Asked().size(), 2u);
}

TEST_F(LoadConfigurationTest, MissingProgramDirectoryStopsTheLoad) {
  ntr_.values.erase(kFolder + "ProgramDirectory");
  EXPECT_FALSE(Load());
  EXPECT_EQ(debug_.Lines(),
            (std::vector<vtps_test::DebugLine>{
                {0, "VantricProcessServer Exception when retrieving ProgramDirectory from NTR."}}));
  EXPECT_EQ(Asked().size(), 2u);
}

TEST_F(LoadConfigurationTest, WorkingDirectoryFailuresStopTheLoad) {
  for (bool missing : {true, false}) {
    TableSource ntr;
    ntr.values = ntr_.values;
    ntr.listings = ntr_.listings;
    if (missing) {
      ntr.values.erase(kFolder + "WorkingDirectory");
    } else {
      ntr.values[kFolder + "WorkingDirectory"] = "a string, not a URL";
    }
    KQ_TString variable, directory;
    KQ_TURL working;
    std::map<KQ_TString, KQ_TString> processors;
    vtps_test::RecordingDebugChannel debug(1);
    EXPECT_FALSE(LoadServerConfiguration(debug, ntr, {variable, directory, working, processors}));
    EXPECT_EQ(
        debug.Lines(),
        (std::vector<vtps_test::DebugLine>{
            {0, "VantricProcessServer Exception when retrieving WorkingDirectory from NTR."}}));
    EXPECT_EQ(directory.Text(), "procs/");
    EXPECT_TRUE(working.Text().Empty());
    EXPECT_TRUE(processors.empty());
    EXPECT_EQ(ntr.asked.size(), 3u);
  }
}

TEST_F(LoadConfigurationTest, FolderThatIsNotATreeLoadsNoProcessors) {
  ntr_.values[kFolder] = "a plain string";
  EXPECT_TRUE(Load());
  EXPECT_TRUE(processors_.empty());
  EXPECT_EQ(Asked().size(), 4u);  // no listing asked
}

TEST_F(LoadConfigurationTest, ListingThatIsNotAListLoadsNoProcessors) {
  ntr_.listings[kFolder] = KQ_TArray();
  EXPECT_TRUE(Load());
  EXPECT_TRUE(processors_.empty());
}

TEST_F(LoadConfigurationTest, NamesAndProgramsThatAreNotStringsAreSkipped) {
  ntr_.listings[kFolder] = Names({7, "Convert", "Merge"});
  ntr_.values[kFolder + "Merge"] = KQ_TTree();
  EXPECT_TRUE(Load());
  std::map<KQ_TString, KQ_TString> expected{{"Convert", "convert.sh"}};
  EXPECT_EQ(processors_, expected);
}

TEST_F(LoadConfigurationTest, FailuresAfterTheDirectoriesLeaveTheLoad) {
  ntr_.listings[kFolder] = Names({"Convert", "Missing", "Merge"});
  EXPECT_THROW(Load(), NTR_EValueNotSet);
  // What was stored before the failure stays.
  std::map<KQ_TString, KQ_TString> expected{{"Convert", "convert.sh"}};
  EXPECT_EQ(processors_, expected);
}

TEST_F(LoadConfigurationTest, MissingFolderLeavesTheLoad) {
  ntr_.values.erase(kFolder);
  EXPECT_THROW(Load(), NTR_EValueNotSet);
}

}  // namespace
