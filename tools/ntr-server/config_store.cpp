#include "tools/ntr-server/config_store.h"

#include <cerrno>
#include <charconv>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include <boost/property_tree/xml_parser.hpp>

#include "config/NTR/ntr_exceptions.h"
#include "mapping/xml_depth.h"
#include "platform/kqtypes/kq_scalar.h"
#include "platform/kqtypes/kq_url.h"
#include "platform/os/os.h"

namespace pt = boost::property_tree;

namespace {

std::string Trimmed(const std::string& text) {
  std::size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos)
    return "";
  std::size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

KQ_TAny LeafValue(const std::string& text, const std::string& type, const std::string& where) {
  if (type == "string")
    return KQ_TAny(text);
  if (type == "url")
    return KQ_TAny(KQ_TURL(KQ_TString(text)));
  if (type == "int") {
    std::int64_t number = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
      throw std::runtime_error(where + " is of type int but holds \"" + text + "\"");
    return KQ_TAny(number);
  }
  if (type == "bool") {
    if (text == "true")
      return KQ_TAny(true);
    if (text == "false")
      return KQ_TAny(false);
    throw std::runtime_error(where + " is of type bool but holds \"" + text +
                             "\" (expected true or false)");
  }
  throw std::runtime_error(where + " has the unknown type \"" + type +
                           "\" (expected string, url, int or bool)");
}

// Fills `folder` from the children of `element`; `path` names the element in messages.
void Fill(const pt::ptree& element, const std::string& path, KQ_TTree& folder) {
  for (const auto& [name, child] : element) {
    if (name == "<xmlcomment>")
      continue;
    if (name == "<xmlattr>") {
      throw std::runtime_error(path + " is a folder and cannot have attributes");
    }
    std::string where = path + name;
    if (folder.Entries().Find(name) != nullptr)
      throw std::runtime_error(where + " is given twice");
    std::string type = "string";
    bool isFolder = false;
    for (const auto& [part, content] : child) {
      if (part == "<xmlattr>") {
        for (const auto& [attribute, value] : content) {
          if (attribute != "type")
            throw std::runtime_error(where + " has the unknown attribute \"" + attribute + "\"");
          type = value.data();
        }
      } else if (part != "<xmlcomment>") {
        isFolder = true;
      }
    }
    if (isFolder) {
      if (child.get_child_optional("<xmlattr>"))
        throw std::runtime_error(where + " is a folder and cannot have attributes");
      KQ_TTree sub;
      Fill(child, where + "/", sub);
      folder[name.c_str()] = std::move(sub);
    } else {
      folder[name.c_str()] = LeafValue(Trimmed(child.data()), type, where);
    }
  }
}

// The parts of a key; throws NTR_EIllegalPath for an empty part. `wantsFolder` tells
// whether the key ended in "/".
std::vector<std::string> Parts(std::string_view whole, bool& wantsFolder) {
  std::string_view key = whole;
  if (!key.empty() && key.front() == '/')
    key.remove_prefix(1);
  wantsFolder = key.empty() || key.back() == '/';
  if (!key.empty() && key.back() == '/')
    key.remove_suffix(1);
  std::vector<std::string> parts;
  if (key.empty())
    return parts;
  for (;;) {
    std::size_t slash = key.find('/');
    std::string_view part = key.substr(0, slash);
    if (part.empty()) {
      NTR_EIllegalPath error(KQ_TString("the key \"") + std::string(whole) + "\" has an empty part",
                             KQ_TAny());
      throw error;
    }
    parts.emplace_back(part);
    if (slash == std::string_view::npos)
      return parts;
    key.remove_prefix(slash + 1);
  }
}

[[noreturn]] void NotSet(std::string_view key, const std::string& why) {
  NTR_EValueNotSet error;
  error.KQ_Message() = KQ_TString("no value for \"") + std::string(key) + "\": " + why;
  throw error;
}

}  // namespace

ConfigStore ConfigStore::FromXml(std::string_view text, const std::string& source) {
  xml_depth::XmlDepth depth = xml_depth::MeasureXmlDepth(text);
  if (depth.status == xml_depth::XmlDepthStatus::kTooDeep) {
    throw std::runtime_error(source + ": elements nest deeper than " +
                             std::to_string(xml_depth::kMaxXmlDepth) + " levels");
  }
  pt::ptree document;
  try {
    std::istringstream in{std::string(text)};
    pt::read_xml(in, document);
  } catch (const pt::xml_parser_error& error) {
    throw std::runtime_error(source + ":" + std::to_string(error.line()) + ": " + error.message());
  }
  std::size_t elements = 0;
  const pt::ptree* configuration = nullptr;
  for (const auto& [name, child] : document) {
    if (name == "<xmlcomment>")
      continue;
    ++elements;
    if (name == "configuration")
      configuration = &child;
  }
  if (configuration == nullptr || elements != 1)
    throw std::runtime_error(source + ": the root element must be <configuration>");
  ConfigStore store;
  try {
    Fill(*configuration, "", store.root_);
  } catch (const std::runtime_error& error) {
    throw std::runtime_error(source + ": " + error.what());
  }
  return store;
}

ConfigStore ConfigStore::FromFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    throw std::runtime_error(path + ": cannot be read: " + os::ErrorText(errno));
  std::ostringstream text;
  text << in.rdbuf();
  return FromXml(text.str(), path);
}

const KQ_TTree* ConfigStore::FolderAt(std::string_view key, bool& wantsFolder,
                                      std::string& leaf) const {
  std::vector<std::string> parts = Parts(key, wantsFolder);
  leaf.clear();
  const KQ_TTree* folder = &root_;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const KQ_TAny* entry = folder->Entries().Find(parts[i]);
    if (entry == nullptr)
      NotSet(key, "there is no " + parts[i]);
    const KQ_TTree* sub = entry->DynamicCast<KQ_TTree>();
    if (sub == nullptr) {
      if (i + 1 < parts.size() || wantsFolder)
        NotSet(key, parts[i] + " is a value, not a folder");
      leaf = parts[i];
      return folder;
    }
    folder = sub;
  }
  return folder;
}

KQ_TAny ConfigStore::Get(std::string_view key) const {
  bool wantsFolder = false;
  std::string leaf;
  const KQ_TTree* folder = FolderAt(key, wantsFolder, leaf);
  if (!leaf.empty())
    return *folder->Entries().Find(leaf);
  return KQ_TAny(*folder);
}

KQ_TList ConfigStore::KeysAt(std::string_view key) const {
  bool wantsFolder = false;
  std::string leaf;
  const KQ_TTree* folder = FolderAt(key, wantsFolder, leaf);
  if (!leaf.empty())
    NotSet(key, leaf + " is a value, not a folder");
  KQ_TList names;
  for (const KQ_TDict::Entry& entry : folder->Entries())
    names.Append(KQ_TAny(entry.key));
  return names;
}
