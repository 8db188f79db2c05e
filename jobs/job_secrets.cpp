#include "jobs/job_secrets.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>

#include <boost/property_tree/xml_parser.hpp>

#include "jobs/job_file.h"
#include "mapping/xml_names.h"
#include "platform/kqtypes/kq_exception.h"
#include "platform/os/os.h"

namespace {

using boost::property_tree::ptree;

constexpr const char* kSetting = "VTPS_SECRET_KEYS";

std::string Trimmed(const std::string& text) {
  const char* blanks = " \t";
  std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos)
    return "";
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// Clears the text of every element that has children where that text is blanks only: the
// reader keeps the indentation around children as such a text, and the writer would write
// it out again beside its own indentation, so a file would grow blank lines each time it is
// rewritten. An element with children answers as a dictionary, which has no text.
void DropIndentation(ptree& tree) {
  std::vector<ptree*> pending{&tree};
  while (!pending.empty()) {
    ptree* node = pending.back();
    pending.pop_back();
    if (!node->empty() && node->data().find_first_not_of(" \t\r\n") == std::string::npos)
      node->data().clear();
    for (auto& entry : *node)
      pending.push_back(&entry.second);
  }
}

}  // namespace

std::span<const std::string> DefaultSecretKeys() {
  static const std::array<std::string, 3> keys{"password", "userPassword", "ownerPassword"};
  return keys;
}

std::vector<std::string> ParseSecretKeys(const std::optional<std::string>& value) {
  if (!value) {
    std::span<const std::string> defaults = DefaultSecretKeys();
    return {defaults.begin(), defaults.end()};
  }
  std::vector<std::string> keys;
  if (Trimmed(*value).empty())
    return keys;
  std::size_t start = 0;
  for (;;) {
    std::size_t comma = value->find(',', start);
    std::string key = Trimmed(value->substr(start, comma - start));
    if (!xml_names::IsXmlName(key)) {
      throw KQ_EException(KQ_TString(kSetting) + " is \"" + *value +
                          "\": expected names of elements separated by commas, such as "
                          "password,userPassword,ownerPassword" +
                          (key.empty() ? " (a name is empty)" : " (\"" + key + "\" is no name)"));
    }
    if (std::find(keys.begin(), keys.end(), key) == keys.end())
      keys.push_back(key);
    if (comma == std::string::npos)
      return keys;
    start = comma + 1;
  }
}

std::vector<std::string> RemoveSecretValues(ptree& tree, std::span<const std::string> keys) {
  std::vector<bool> removed(keys.size(), false);
  // An explicit stack: the depth of a tree read from a processor's answer is bounded by the
  // reader, but this walk need not rely on it.
  std::vector<ptree*> pending{&tree};
  while (!pending.empty()) {
    ptree* node = pending.back();
    pending.pop_back();
    for (auto& [name, child] : *node) {
      auto key = std::find(keys.begin(), keys.end(), name);
      if (key == keys.end()) {
        pending.push_back(&child);
        continue;
      }
      if (!child.data().empty() || !child.empty())
        removed[static_cast<std::size_t>(key - keys.begin())] = true;
      child.data().clear();
      child.clear();
    }
  }
  std::vector<std::string> names;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (removed[i])
      names.push_back(keys[i]);
  }
  return names;
}

SecretRemoval RemoveSecretsFromJobFile(const std::string& path, std::span<const std::string> keys,
                                       std::uintmax_t maxBytes) {
  SecretRemoval removal;
  auto notRemoved = [&](std::string problem) {
    removal.outcome = SecretRemoval::Outcome::kNotRemoved;
    removal.problem = std::move(problem);
    return removal;
  };
  std::error_code error;
  std::uintmax_t bytes = std::filesystem::file_size(path, error);
  if (error == std::errc::no_such_file_or_directory)
    return removal;
  if (error)
    return notRemoved("cannot read " + path + ": " + error.message());
  if (keys.empty()) {
    removal.outcome = SecretRemoval::Outcome::kNoSecrets;
    return removal;
  }
  if (maxBytes > 0 && bytes > maxBytes)
    return notRemoved("larger than the answer limit (" + std::to_string(bytes) + " bytes)");

  // ReadJobFile reads a file it cannot open as an empty one, which would pass for clean.
  if (!std::ifstream(path))
    return notRemoved("cannot open " + path);
  std::string unreadable;
  ptree tree = ReadJobFile(path, unreadable);
  if (!unreadable.empty())
    return notRemoved(unreadable);
  removal.removedKeys = RemoveSecretValues(tree, keys);
  if (removal.removedKeys.empty()) {
    removal.outcome = SecretRemoval::Outcome::kNoSecrets;
    return removal;
  }
  DropIndentation(tree);
  std::string written;
  try {
    // A name of its own beside the file: never a job file's name (no ".xml" at its end).
    written = WriteNewJobFile(tree, path + ".scrub");
  } catch (const boost::property_tree::xml_parser_error& failure) {
    if (failure.message() == kJobFileWriteError)
      os::RemoveFile(failure.filename());
    return notRemoved(failure.message() == kJobFileWriteError ? "cannot write " + failure.filename()
                                                              : failure.message());
  } catch (const std::exception& failure) {
    return notRemoved(failure.what());
  }
  std::string replaced = os::RenameOver(written, path);
  if (!replaced.empty()) {
    os::RemoveFile(written);
    return notRemoved(replaced);
  }
  removal.outcome = SecretRemoval::Outcome::kRemoved;
  return removal;
}

std::optional<std::string> KeptJobFileLine(const std::string& path, const SecretRemoval& removal) {
  std::string line = "Job file kept: " + path + ".";
  switch (removal.outcome) {
    case SecretRemoval::Outcome::kNoFile:
      return std::nullopt;
    case SecretRemoval::Outcome::kNoSecrets:
      break;
    case SecretRemoval::Outcome::kRemoved: {
      line += " Secret values removed: ";
      for (std::size_t i = 0; i < removal.removedKeys.size(); ++i)
        line += (i == 0 ? "" : ", ") + removal.removedKeys[i];
      line += ".";
      break;
    }
    case SecretRemoval::Outcome::kNotRemoved:
      line += " Secret values not removed: " + removal.problem + ".";
      break;
  }
  return line;
}
