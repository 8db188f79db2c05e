#include "processors/pdf/run/output_file.h"

#include <cstdio>
#include <map>
#include <random>
#include <set>

#include "processors/pdf/run/open_files.h"

#include "processors/pdf/text/pdf_error.h"

namespace pdf::run {

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

// What stands between the prefix and the suffix of a hidden name.
std::string HiddenCore(const std::string& name) {
  std::size_t prefix = sizeof kHiddenPrefix - 1;
  std::size_t suffix = sizeof kHiddenSuffix - 1;
  return name.size() < prefix + suffix ? "" : name.substr(prefix, name.size() - prefix - suffix);
}

// A closed output's content is named after its run's lock: ".vtps-output-<lock>-<n>.tmp" for
// the lock ".vtps-output-<lock>.tmp". The lock's name, or "" for any other hidden name.
std::string RunLockOf(const std::string& name) {
  std::string core = HiddenCore(name);
  std::size_t dash = core.find('-');
  if (dash == std::string::npos)
    return "";
  return kHiddenPrefix + core.substr(0, dash) + kHiddenSuffix;
}

// The lock one run holds on a folder for the closed outputs it has there: a hidden file of
// its own, locked while the run lives, removed when its last closed output is gone.
struct RunLock {
  std::shared_ptr<const os::FileHandle> folder;
  std::string name;
  os::FileHandle file;
  int next = 0;  // the number of the next closed output's name
  ~RunLock() { os::RemoveIn(*folder, name); }
};

std::map<os::FileId, std::weak_ptr<RunLock>>& RunLocks() {
  static std::map<os::FileId, std::weak_ptr<RunLock>> locks;
  return locks;
}

// This run's lock on `folder`, made when it has none. Throws PdfError naming `label` when it
// cannot be made.
std::shared_ptr<RunLock> LockFolder(const std::shared_ptr<const os::FileHandle>& folder,
                                    const std::string& label) {
  std::weak_ptr<RunLock>& known = RunLocks()[os::Describe(*folder).id];
  if (std::shared_ptr<RunLock> lock = known.lock())
    return lock;
  auto lock = std::make_shared<RunLock>();
  lock->folder = folder;
  os::FileFailure failure;
  do {
    lock->name = HiddenName();
    lock->file = os::CreateNamedFile(*folder, lock->name, failure);
  } while (failure.problem == os::FileProblem::kExists);
  if (!lock->file.Valid())
    throw PdfError("output \"" + label + "\" cannot be written (" + OpenFailureText(failure.error) +
                   ")");
  os::TryLockExclusive(lock->file);
  known = lock;
  return lock;
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
    // A closed output is its run's while the run's lock is held.
    if (std::string lockName = RunLockOf(name); !lockName.empty()) {
      os::FileFailure failure;
      os::FileHandle lock = os::OpenFileBelow(&folder, lockName, os::Resolve::kBeneath, failure);
      if (lock.Valid() && !os::TryLockExclusive(lock))
        continue;
      os::RemoveIn(folder, name);
      continue;
    }
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
    throw PdfError("output \"" + label_ + "\" cannot be written (" +
                   OpenFailureText(failure.error) + ")");
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
  runLock_.reset();
  return true;
}

void OutputFile::RenameTarget(std::string name, std::string label) {
  name_ = std::move(name);
  label_ = std::move(label);
}

void OutputFile::Close() {
  if (!content_.Valid())
    return;
  std::shared_ptr<RunLock> lock = LockFolder(folder_, label_);
  std::string name =
      kHiddenPrefix + HiddenCore(lock->name) + "-" + std::to_string(lock->next++) + kHiddenSuffix;
  os::FileFailure named = hiddenName_.empty() ? os::LinkUnnamedFile(content_, *folder_, name)
                                              : os::RenameIn(*folder_, hiddenName_, name);
  if (named)
    throw PdfError("output \"" + label_ + "\" cannot be written (" + named.Text() + ")");
  hiddenName_ = name;
  runLock_ = std::shared_ptr<const os::FileHandle>(lock, &lock->file);
  content_ = os::FileHandle();
}

os::FileHandle OutputFile::OpenContent() const {
  os::FileFailure failure;
  os::FileHandle file;
  if (content_.Valid())
    file = os::OpenFileBelow(nullptr, content_.ProcPath(), os::Resolve::kAnywhere, failure);
  else
    file = os::OpenFileBelow(folder_.get(), hiddenName_, os::Resolve::kBeneath, failure);
  if (!file.Valid())
    throw PdfError("output \"" + label_ + "\" cannot be read again (" +
                   OpenFailureText(failure.error) + ")");
  return file;
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
  runLock_.reset();
}

}  // namespace pdf::run
