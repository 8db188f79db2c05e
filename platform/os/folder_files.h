// Files reached through an open folder rather than through path text: a folder is opened
// once, and every path below it is resolved by the kernel relative to that folder
// (openat2). In confined mode the kernel refuses any path that would leave the folder, by
// "..", an absolute path or a symbolic link, and every "magic" link such as /proc/self/root;
// a link swapped while a run is under way cannot redirect a file that is already open.
// Files are created unnamed (O_TMPFILE) and given their name only when complete.
//
// POSIX (Linux) only: the programs that use it are built for Linux. A FileHandle owns its
// descriptor and closes it when destroyed; handles may be moved, not copied. The functions
// keep no state and are safe from any thread.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace os {

// An open file or folder descriptor, owned.
class FileHandle {
 public:
  FileHandle() = default;
  explicit FileHandle(int descriptor) : descriptor_(descriptor) {}
  ~FileHandle();
  FileHandle(FileHandle&& other) noexcept : descriptor_(other.Release()) {}
  FileHandle& operator=(FileHandle&& other) noexcept;
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  bool Valid() const { return descriptor_ >= 0; }
  int Get() const { return descriptor_; }
  int Release();

  // A path naming this open file, for libraries that only take paths: "/proc/self/fd/N".
  // Opening it reaches this very file, whatever has happened to its name since.
  std::string ProcPath() const;

 private:
  int descriptor_ = -1;
};

// What a failed call ran into, as far as callers tell the cases apart.
enum class FileProblem {
  kNone,
  kOutside,      // the path would leave the folder (confined mode)
  kMissing,      // a part of the path does not exist
  kNotFolder,    // a part of the path that must be a folder is not one
  kIsFolder,     // a file was expected
  kNotFile,      // neither a regular file nor a folder (a device, a pipe, a socket)
  kLinkLoop,     // too many links, or a magic link (confined mode)
  kExists,       // the name is taken
  kUnsupported,  // the kernel cannot confine paths (no openat2: Linux before 5.6)
  kOther,        // see the error number
};

struct FileFailure {
  FileProblem problem = FileProblem::kNone;
  int error = 0;  // the errno behind it
  explicit operator bool() const { return problem != FileProblem::kNone; }
  std::string Text() const;  // the OS's text for `error`
};

// Where a path may lead below the folder it is resolved in.
enum class Resolve {
  kBeneath,  // never outside the folder, no magic links
  kAnywhere  // as the OS resolves it (absolute paths, "..", any link)
};

// The identity of a file: device and inode.
struct FileId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const FileId&) const = default;
  auto operator<=>(const FileId&) const = default;
};

struct FileInfo {
  FileId id;
  std::uint64_t size = 0;
  bool regular = false;
  bool folder = false;
  std::uint32_t permissions = 0;  // the mode's permission bits
};

// Opens the folder at `path` (resolved as the OS does, from the working folder).
FileHandle OpenFolder(const std::string& path, FileFailure& failure);

// Opens the folder `path` below `folder` (`folder` null: from the working folder).
FileHandle OpenFolderBelow(const FileHandle* folder, const std::string& path, Resolve resolve,
                           FileFailure& failure);

// Opens the regular file `path` below `folder` (null: the working folder) for reading. A
// folder, device, pipe or socket is refused without blocking on it.
FileHandle OpenFileBelow(const FileHandle* folder, const std::string& path, Resolve resolve,
                         FileFailure& failure);

// A stdio stream on a copy of `file`'s descriptor (`mode` as for fopen, without truncating),
// for libraries that read or write streams; closing it leaves `file` open. Null on failure.
std::FILE* OpenStream(const FileHandle& file, const char* mode);

// The identity, size and kind of an open file.
FileInfo Describe(const FileHandle& file);

// What the name `name` directly in `folder` is, without following a link there; nullopt when
// there is nothing of that name (or it cannot be looked at).
std::optional<FileInfo> DescribeEntry(const FileHandle& folder, const std::string& name);

// A new file in `folder` with no name yet (O_TMPFILE), open for reading and writing with the
// usual mode (0666 less the umask). kUnsupported when the file system cannot make one.
FileHandle CreateUnnamedFile(const FileHandle& folder, FileFailure& failure);

// A new file named `name` in `folder`, created exclusively (never through a link) and open
// for reading and writing; kExists when the name is taken.
FileHandle CreateNamedFile(const FileHandle& folder, const std::string& name, FileFailure& failure);

// Sets the permission bits of the open `file`; false when the OS refuses.
bool SetPermissions(const FileHandle& file, std::uint32_t permissions);

// Gives the unnamed `file` the name `name` in `folder`; kExists when the name is taken.
FileFailure LinkUnnamedFile(const FileHandle& file, const FileHandle& folder,
                            const std::string& name);

// Gives the file `from` in `folder` the second name `to` there too (a hard link); kExists
// when `to` is taken, which stays as it was.
FileFailure LinkIn(const FileHandle& folder, const std::string& from, const std::string& to);

// Renames `from` to `to` within `folder`, replacing what `to` names (a file, or a link, which is
// replaced and not followed).
FileFailure RenameIn(const FileHandle& folder, const std::string& from, const std::string& to);

// Removes the file `name` from `folder`.
FileFailure RemoveIn(const FileHandle& folder, const std::string& name);

// Takes an exclusive advisory lock on `file` without waiting: true when it was free. The lock
// goes with the last descriptor of the open file, so also with a process that is killed.
bool TryLockExclusive(const FileHandle& file);

// The names directly in `folder` (no "." or ".."); empty when it cannot be read.
std::vector<std::string> FolderEntries(const FileHandle& folder);

// Seconds since the file `name` in `folder` was last changed; nullopt when unknown.
std::optional<std::int64_t> SecondsSinceChange(const FileHandle& folder, const std::string& name);

}  // namespace os
