// Linux implementation of files reached through an open folder.
#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "platform/os/folder_files.h"
#include "platform/os/os.h"

namespace os {
namespace {

// What an errno of the folder's calls means to their callers; any other is kOther.
struct ErrorProblem {
  int error;
  FileProblem problem;
};
constexpr ErrorProblem kErrorProblems[] = {
    {EXDEV, FileProblem::kOutside},      {ENOENT, FileProblem::kMissing},
    {ENOTDIR, FileProblem::kNotFolder},  {EISDIR, FileProblem::kIsFolder},
    {ELOOP, FileProblem::kLinkLoop},     {EEXIST, FileProblem::kExists},
    {ENOSYS, FileProblem::kUnsupported}, {EOPNOTSUPP, FileProblem::kUnsupported},
};

FileFailure Failed(int error) {
  for (const ErrorProblem& known : kErrorProblems) {
    if (known.error == error)
      return {known.problem, error};
  }
  return {FileProblem::kOther, error};
}

// openat2 with the given resolution, or plain openat where the path may lead anywhere.
// glibc 2.36 has no wrapper for openat2, so it is called by number.
int OpenAt(const FileHandle* folder, const std::string& path, int flags, Resolve resolve) {
  int directory = folder != nullptr ? folder->Get() : AT_FDCWD;
  flags |= O_CLOEXEC | O_NOCTTY;
  if (resolve == Resolve::kAnywhere) {
    int descriptor;
    do {
      descriptor = ::openat(directory, path.c_str(), flags);
    } while (descriptor < 0 && errno == EINTR);
    return descriptor;
  }
  open_how how{};
  how.flags = static_cast<std::uint64_t>(flags);
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
  for (int attempt = 0;; ++attempt) {
    long descriptor = ::syscall(SYS_openat2, directory, path.c_str(), &how, sizeof how);
    if (descriptor >= 0)
      return static_cast<int>(descriptor);
    // EAGAIN: a rename or mount elsewhere raced the ".." check; the kernel asks to try again.
    if (errno == EINTR || (errno == EAGAIN && attempt < 16))
      continue;
    return -1;
  }
}

FileInfo InfoOf(const struct stat& status) {
  FileInfo info;
  info.id = {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
  info.size = static_cast<std::uint64_t>(status.st_size);
  info.regular = S_ISREG(status.st_mode);
  info.folder = S_ISDIR(status.st_mode);
  info.permissions = static_cast<std::uint32_t>(status.st_mode & 07777);
  return info;
}

}  // namespace

FileHandle::~FileHandle() {
  if (descriptor_ >= 0)
    ::close(descriptor_);
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
  if (this != &other) {
    if (descriptor_ >= 0)
      ::close(descriptor_);
    descriptor_ = other.Release();
  }
  return *this;
}

int FileHandle::Release() {
  int descriptor = descriptor_;
  descriptor_ = -1;
  return descriptor;
}

std::string FileHandle::ProcPath() const {
  return "/proc/self/fd/" + std::to_string(descriptor_);
}

std::string FileFailure::Text() const {
  return ErrorText(error);
}

FileHandle OpenFolder(const std::string& path, FileFailure& failure) {
  return OpenFolderBelow(nullptr, path, Resolve::kAnywhere, failure);
}

FileHandle OpenFolderBelow(const FileHandle* folder, const std::string& path, Resolve resolve,
                           FileFailure& failure) {
  failure = {};
  int descriptor = OpenAt(folder, path, O_RDONLY | O_DIRECTORY, resolve);
  if (descriptor < 0)
    failure = Failed(errno);
  return FileHandle(descriptor);
}

FileHandle OpenFileBelow(const FileHandle* folder, const std::string& path, Resolve resolve,
                         FileFailure& failure) {
  failure = {};
  // Non-blocking, so that a pipe planted under the name cannot hold the open.
  FileHandle file(OpenAt(folder, path, O_RDONLY | O_NONBLOCK, resolve));
  if (!file.Valid()) {
    failure = Failed(errno);
    return file;
  }
  FileInfo info = Describe(file);
  if (info.folder) {
    failure = {FileProblem::kIsFolder, EISDIR};
    return FileHandle();
  }
  if (!info.regular) {
    failure = {FileProblem::kNotFile, EINVAL};
    return FileHandle();
  }
  int flags = ::fcntl(file.Get(), F_GETFL);
  if (flags >= 0)
    ::fcntl(file.Get(), F_SETFL, flags & ~O_NONBLOCK);
  return file;
}

std::FILE* OpenStream(const FileHandle& file, const char* mode) {
  int copy = ::fcntl(file.Get(), F_DUPFD_CLOEXEC, 0);
  if (copy < 0)
    return nullptr;
  std::FILE* stream = ::fdopen(copy, mode);
  if (stream == nullptr)
    ::close(copy);
  return stream;
}

FileInfo Describe(const FileHandle& file) {
  struct stat status {};
  if (::fstat(file.Get(), &status) != 0)
    return {};
  return InfoOf(status);
}

std::optional<FileInfo> DescribeEntry(const FileHandle& folder, const std::string& name) {
  struct stat status {};
  if (::fstatat(folder.Get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
    return std::nullopt;
  return InfoOf(status);
}

FileHandle CreateUnnamedFile(const FileHandle& folder, FileFailure& failure) {
  failure = {};
  int descriptor = ::openat(folder.Get(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  if (descriptor < 0) {
    // Kernels and file systems without unnamed files answer one of these.
    failure = (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)
                  ? FileFailure{FileProblem::kUnsupported, errno}
                  : Failed(errno);
  }
  return FileHandle(descriptor);
}

FileHandle CreateNamedFile(const FileHandle& folder, const std::string& name,
                           FileFailure& failure) {
  failure = {};
  int descriptor;
  do {
    descriptor = ::openat(folder.Get(), name.c_str(),
                          O_CREAT | O_EXCL | O_NOFOLLOW | O_RDWR | O_CLOEXEC, 0666);
  } while (descriptor < 0 && errno == EINTR);
  if (descriptor < 0)
    failure = Failed(errno);
  return FileHandle(descriptor);
}

bool SetPermissions(const FileHandle& file, std::uint32_t permissions) {
  return ::fchmod(file.Get(), static_cast<mode_t>(permissions)) == 0;
}

FileFailure LinkUnnamedFile(const FileHandle& file, const FileHandle& folder,
                            const std::string& name) {
  // Linking by descriptor (AT_EMPTY_PATH) needs a privilege; through /proc it does not.
  if (::linkat(AT_FDCWD, file.ProcPath().c_str(), folder.Get(), name.c_str(), AT_SYMLINK_FOLLOW) !=
      0)
    return Failed(errno);
  return {};
}

FileFailure LinkIn(const FileHandle& folder, const std::string& from, const std::string& to) {
  if (::linkat(folder.Get(), from.c_str(), folder.Get(), to.c_str(), 0) != 0)
    return Failed(errno);
  return {};
}

FileFailure RenameIn(const FileHandle& folder, const std::string& from, const std::string& to) {
  if (::renameat(folder.Get(), from.c_str(), folder.Get(), to.c_str()) != 0)
    return Failed(errno);
  return {};
}

FileFailure RemoveIn(const FileHandle& folder, const std::string& name) {
  if (::unlinkat(folder.Get(), name.c_str(), 0) != 0)
    return Failed(errno);
  return {};
}

bool TryLockExclusive(const FileHandle& file) {
  return ::flock(file.Get(), LOCK_EX | LOCK_NB) == 0;
}

std::vector<std::string> FolderEntries(const FileHandle& folder) {
  std::vector<std::string> names;
  // The stream owns a descriptor of its own, so the handle stays usable.
  int descriptor = ::openat(folder.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0)
    return names;
  DIR* directory = ::fdopendir(descriptor);
  if (directory == nullptr) {
    ::close(descriptor);
    return names;
  }
  while (dirent* entry = ::readdir(directory)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..")
      names.push_back(std::move(name));
  }
  ::closedir(directory);
  return names;
}

std::optional<std::int64_t> SecondsSinceChange(const FileHandle& folder, const std::string& name) {
  struct stat status {};
  if (::fstatat(folder.Get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
    return std::nullopt;
  return static_cast<std::int64_t>(std::time(nullptr)) -
         static_cast<std::int64_t>(status.st_mtim.tv_sec);
}

}  // namespace os
