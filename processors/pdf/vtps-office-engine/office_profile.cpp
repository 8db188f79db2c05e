#include "processors/pdf/vtps-office-engine/office_profile.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace pdf::office {
namespace {

struct ProfileItem {
  const char* path;
  const char* name;
  const char* value;
};

// LinkUpdateModes: 0 never. MacroSecurityLevel 3: only signed macros from trusted places,
// and with DisableMacrosExecution not even those.
constexpr ProfileItem kItems[] = {
    {"/org.openoffice.Office.Common/Security/Scripting", "DisableMacrosExecution", "true"},
    {"/org.openoffice.Office.Common/Security/Scripting", "MacroSecurityLevel", "3"},
    {"/org.openoffice.Office.Common/Security/Scripting", "BlockUntrustedRefererLinks", "true"},
    {"/org.openoffice.Office.Common/Security/Scripting", "WarnAlienFormat", "false"},
    {"/org.openoffice.Office.Common/Misc", "FirstRun", "false"},
    {"/org.openoffice.Office.Common/Misc", "UseLocking", "false"},
    {"/org.openoffice.Office.Common/Misc", "UseDocumentSystemFileLocking", "false"},
    {"/org.openoffice.Office.Common/Save/Document", "CreateBackup", "false"},
    {"/org.openoffice.Office.Common/Save/Document", "AutoSave", "false"},
    {"/org.openoffice.Office.Recovery/AutoSave", "Enabled", "false"},
    {"/org.openoffice.Office.Recovery/RecoveryInfo", "Enabled", "false"},
    {"/org.openoffice.Office.Writer/Content/Update", "Link", "2"},
    {"/org.openoffice.Office.Calc/Content/Update", "Link", "2"},
    {"/org.openoffice.Office.Common/Internet/Proxy", "ooInetProxyType", "0"},
};

}  // namespace

std::string ProfileSettings(const std::string& version) {
  std::ostringstream xcu;
  xcu << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<oor:items xmlns:oor=\"http://openoffice.org/2001/registry\" "
         "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n";
  auto item = [&xcu](const std::string& path, const std::string& name, const std::string& value) {
    xcu << "<item oor:path=\"" << path << "\"><prop oor:name=\"" << name
        << "\" oor:op=\"fuse\"><value>" << value << "</value></prop></item>\n";
  };
  for (const ProfileItem& setting : kItems)
    item(setting.path, setting.name, setting.value);
  // The first start of a version runs graphics tests for seconds; a profile that says the
  // version has started before skips them.
  if (!version.empty())
    item("/org.openoffice.Setup/Product", "ooSetupLastVersion", version);
  xcu << "</oor:items>\n";
  return xcu.str();
}

std::string InstalledVersion(const std::string& installPath) {
  std::ifstream registry(std::filesystem::path(installPath) / "../share/registry/main.xcd");
  if (!registry)
    return "";
  std::stringstream text;
  text << registry.rdbuf();
  // The value, not the schema's declaration (which has a type and an empty default).
  std::string content = text.str();
  std::size_t property = content.find("<prop oor:name=\"ooSetupVersion\">");
  std::size_t value = content.find("<value>", property);
  if (property == std::string::npos || value == std::string::npos)
    return "";
  value += 7;
  std::size_t end = content.find('<', value);
  std::string version = content.substr(value, end - value);
  if (version.empty() || version.size() > 16 ||
      version.find_first_not_of("0123456789.") != std::string::npos)
    return "";
  return version;
}

std::string MakeOfficeProfile(const std::string& folder, const std::string& version) {
  std::error_code error;
  std::filesystem::remove_all(folder, error);
  std::filesystem::create_directories(std::filesystem::path(folder) / "user", error);
  if (error)
    return "cannot make the office profile " + folder + ": " + error.message();
  std::ofstream settings(std::filesystem::path(folder) / "user/registrymodifications.xcu");
  settings << ProfileSettings(version);
  settings.close();
  if (!settings)
    return "cannot write the office profile in " + folder;
  return "";
}

}  // namespace pdf::office
