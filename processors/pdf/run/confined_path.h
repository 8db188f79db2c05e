// PathResolver opens the files and folders a job names. With a root folder (VTPS_PDF_ROOT)
// the root is opened once and every path is resolved by the kernel beneath it (openat2 with
// RESOLVE_BENEATH): "..", absolute paths and links that lead outside are refused whatever
// the path's text looks like, and what is opened stays the file that was checked, however
// links change later. Without a root the programs refuse to run unless VTPS_PDF_UNCONFINED
// says that the callers are trusted; paths are then used as given.
//
// The resolver owns the root's descriptor; the handles it returns are the caller's. Use one
// resolver from one thread.
#pragma once

#include <optional>
#include <string>

#include "platform/os/folder_files.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::run {

// The settings that decide where a run's paths may lead.
struct RootSettings {
  std::optional<std::string> root;        // VTPS_PDF_ROOT
  std::optional<std::string> unconfined;  // VTPS_PDF_UNCONFINED
};

// Where an output goes: its folder, opened, and its name in that folder.
struct OutputPlace {
  os::FileHandle folder;
  std::string name;
  std::string label;  // the path as the job gave it
};

class PathResolver {
 public:
  // Opens the root. Throws PdfError when VTPS_PDF_ROOT is unset or empty and
  // VTPS_PDF_UNCONFINED is not "1", when VTPS_PDF_UNCONFINED holds anything but "", "0" or
  // "1", and when the root is not a folder that can be opened.
  explicit PathResolver(const RootSettings& settings);

  // Opens the existing regular file `given` (the text of `parameter`) for reading. Throws
  // PdfError naming the parameter or the file when the text is empty or holds a control
  // character; and, with a root, when it is absolute or leads outside the root by any means;
  // when the file does not exist, is a folder or not a regular file, or cannot be opened;
  // when the kernel cannot confine paths.
  os::FileHandle OpenFile(const std::string& given, const std::string& parameter) const;

  // Opens the existing folder `given`, with the same checks as OpenFile.
  os::FileHandle OpenFolder(const std::string& given, const std::string& parameter) const;

  // The folder and name of the output `given`; nothing is created. Throws PdfError as
  // OpenFile does, and when the path names a folder or its folder does not exist.
  OutputPlace PlaceOutput(const std::string& given, const std::string& parameter) const;

  bool Confined() const { return root_.Valid(); }
  // The root as the settings name it (for addresses of files beneath it); "" unconfined.
  const std::string& RootPath() const { return rootPath_; }

 private:
  // Throws PdfError when the text of a path is unusable.
  void CheckText(const std::string& given, const std::string& parameter) const;
  // The error for a path the OS refused; `kind` is "file" or "folder".
  PdfError Refusal(const os::FileFailure& failure, const std::string& given,
                   const std::string& parameter, const std::string& kind) const;
  const os::FileHandle* Base() const { return Confined() ? &root_ : nullptr; }
  os::Resolve Resolution() const {
    return Confined() ? os::Resolve::kBeneath : os::Resolve::kAnywhere;
  }

  os::FileHandle root_;  // invalid when unconfined
  std::string rootPath_;
};

}  // namespace pdf::run
