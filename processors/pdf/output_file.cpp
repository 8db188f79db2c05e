#include "processors/pdf/output_file.h"

#include <cstdio>
#include <random>
#include <set>

#include "processors/pdf/pdf_error.h"

namespace {

constexpr char kHiddenPrefix[] = ".vtps-output-";
constexpr char kHiddenSuffix[] = ".tmp";
// A hidden content file younger than this may be one whose writer has just made it and not yet
// locked it.
constexpr std::int64_t kAbandonedAfterSeconds = 60;

// A name for hidden content that no other writer picks.
std::string HiddenName() {
  static std::mt19937_64 generator{std::random_device{}()};
  char suffix[20];
  std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(generator()));
  return std::string(kHiddenPrefix) + suffix + kHiddenSuffix;
}

bool IsHiddenName(const std::string& name) {
  return name.starts_with(kHiddenPrefix) && name.ends_with(kHiddenSuffix);
}

// Cleans each folder once per run: a run writing many parts into one folder reads it once.
void RemoveAbandonedOutputsOnce(const os::FileHandle& folder) {
  static std::set<os::FileId> cleaned;
  if (cleaned.insert(os::Describe(folder).id).second)
    RemoveAbandonedOutputs(folder);
}

}  // namespace

void RemoveAbandonedOutputs(const os::FileHandle& folder) {
  for (const std::string& name : os::FolderEntries(folder)) {
    if (!IsHiddenName(name))
      continue;
    std::optional<std::int64_t> age = os::SecondsSinceChange(folder, name);
    if (!age || *age < kAbandonedAfterSeconds)
      continue;
    os::FileFailure failure;
    // Never through a link: only a file of that name itself is looked at and removed.
    std::optional<os::FileInfo> entry = os::DescribeEntry(folder, name);
    if (!entry || !entry->regular)
      continue;
    os::FileHandle file = os::OpenFileBelow(&folder, name, os::Resolve::kBeneath, failure);
    // A writer holds its lock until it ends, killed or not.
    if (file.Valid() && os::Describe(file).id == entry->id && os::TryLockExclusive(file))
      os::RemoveIn(folder, name);
  }
}

OutputFile::OutputFile(std::shared_ptr<const os::FileHandle> folder, std::string name,
                       std::string label, Content content)
    : folder_(std::move(folder)), name_(std::move(name)), label_(std::move(label)) {
  RemoveAbandonedOutputsOnce(*folder_);
  os::FileFailure failure;
  if (content == Content::kUnnamedWherePossible)
    content_ = os::CreateUnnamedFile(*folder_, failure);
  if (!content_.Valid() &&
      (content == Content::kNamed || failure.problem == os::FileProblem::kUnsupported)) {
    do {
      hiddenName_ = HiddenName();
      content_ = os::CreateNamedFile(*folder_, hiddenName_, failure);
    } while (failure.problem == os::FileProblem::kExists);
  }
  if (!content_.Valid())
    throw PdfError("output \"" + label_ + "\" cannot be written (" + failure.Text() + ")");
  // Held until the file is closed, so that no cleanup takes it for abandoned while it is
  // being written.
  os::TryLockExclusive(content_);
}

OutputFile::~OutputFile() {
  if (!committed_ && !hiddenName_.empty())
    os::RemoveIn(*folder_, hiddenName_);
}

std::unique_ptr<OutputFile> OutputFile::AtPath(const std::string& path) {
  std::size_t slash = path.rfind('/');
  std::string folderPath =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  os::FileFailure failure;
  auto folder = std::make_shared<os::FileHandle>(os::OpenFolder(folderPath, failure));
  if (!folder->Valid())
    throw PdfError("the folder of \"" + path + "\" cannot be opened (" + failure.Text() + ")");
  std::string name = path.substr(slash + 1);
  auto output = std::make_unique<OutputFile>(folder, name, path);
  // A file replaced keeps its permissions: the server makes job files readable to itself only.
  std::optional<os::FileInfo> existing = os::DescribeEntry(*folder, name);
  if (existing && existing->regular)
    os::SetPermissions(output->File(), existing->permissions);
  return output;
}

bool OutputFile::CommitIfFree() {
  // A link fails where the name exists, so nothing there is ever replaced.
  os::FileFailure linked = hiddenName_.empty() ? os::LinkUnnamedFile(content_, *folder_, name_)
                                               : os::LinkIn(*folder_, hiddenName_, name_);
  if (linked.problem == os::FileProblem::kExists)
    return false;
  if (linked)
    throw PdfError("output \"" + label_ + "\" cannot be written (" + linked.Text() + ")");
  if (!hiddenName_.empty()) {
    os::RemoveIn(*folder_, hiddenName_);
    hiddenName_.clear();
  }
  committed_ = true;
  return true;
}

void OutputFile::RenameTarget(std::string name, std::string label) {
  name_ = std::move(name);
  label_ = std::move(label);
}

void OutputFile::Commit() {
  if (hiddenName_.empty()) {
    // A file cannot be linked over an existing name, so the content gets a hidden name first
    // and is then renamed over the final one, which replaces it in one step.
    os::FileFailure linked;
    do {
      hiddenName_ = HiddenName();
      linked = os::LinkUnnamedFile(content_, *folder_, hiddenName_);
    } while (linked.problem == os::FileProblem::kExists);
    if (linked) {
      hiddenName_.clear();
      throw PdfError("output \"" + label_ + "\" cannot be written (" + linked.Text() + ")");
    }
  }
  os::FileFailure renamed = os::RenameIn(*folder_, hiddenName_, name_);
  if (renamed) {
    os::RemoveIn(*folder_, hiddenName_);
    hiddenName_.clear();
    throw PdfError("output \"" + label_ + "\" cannot be written (" + renamed.Text() + ")");
  }
  committed_ = true;
}
