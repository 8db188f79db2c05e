#include "processors/pdf/run/confined_path.h"

#include <algorithm>

#include "processors/pdf/run/open_files.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::run {

namespace {

const char kUnsupported[] =
    "paths cannot be confined to VTPS_PDF_ROOT on this system: the kernel lacks openat2 "
    "(Linux 5.6 or later)";

bool UnconfinedAllowed(const std::optional<std::string>& value) {
  if (!value || value->empty() || *value == "0")
    return false;
  if (*value == "1")
    return true;
  throw PdfError("VTPS_PDF_UNCONFINED is \"" + *value +
                 "\"; it must be 1 (trust the callers' paths) or 0");
}

}  // namespace

PathResolver::PathResolver(const RootSettings& settings) {
  if (!settings.root || settings.root->empty()) {
    if (UnconfinedAllowed(settings.unconfined))
      return;
    throw PdfError(
        "VTPS_PDF_ROOT is not set: set it to the folder the callers may use (or set "
        "VTPS_PDF_UNCONFINED=1 to let trusted callers use any path)");
  }
  os::FileFailure failure;
  rootPath_ = *settings.root;
  root_ = os::OpenFolder(*settings.root, failure);
  if (!root_.Valid())
    throw PdfError("VTPS_PDF_ROOT names \"" + *settings.root + "\", which is not a folder (" +
                   failure.Text() + ")");
  // Asked once here, so that a kernel without openat2 stops the run before any work.
  os::FileHandle probe = os::OpenFolderBelow(&root_, ".", os::Resolve::kBeneath, failure);
  if (failure.problem == os::FileProblem::kUnsupported)
    throw PdfError(kUnsupported);
}

void PathResolver::CheckText(const std::string& given, const std::string& parameter) const {
  std::string where = "parameter \"" + parameter + "\"";
  if (given.empty())
    throw PdfError(where + " is empty");
  // A NUL byte would cut the path short; other control characters have no place in a name.
  if (std::any_of(given.begin(), given.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
    throw PdfError(where + ": the path holds a control character");
  // The kernel refuses these as well; this says why in the caller's terms.
  if (Confined() && given.front() == '/')
    throw PdfError(where + ": \"" + given +
                   "\" is absolute; paths are taken relative to VTPS_PDF_ROOT");
}

PdfError PathResolver::Refusal(const os::FileFailure& failure, const std::string& given,
                               const std::string& parameter, const std::string& kind) const {
  switch (failure.problem) {
    case os::FileProblem::kOutside:
      return PdfError("parameter \"" + parameter + "\": \"" + given +
                      "\" leads outside VTPS_PDF_ROOT");
    case os::FileProblem::kUnsupported:
      return PdfError(kUnsupported);
    case os::FileProblem::kMissing:
      return PdfError(kind + " \"" + given + "\" does not exist");
    case os::FileProblem::kIsFolder:
    case os::FileProblem::kNotFile:
      return PdfError(kind + " \"" + given + "\" is not a file");
    case os::FileProblem::kNotFolder:
      return PdfError(kind + " \"" + given + "\" is not a folder");
    default:
      return PdfError("parameter \"" + parameter + "\": \"" + given + "\" cannot be opened (" +
                      OpenFailureText(failure.error) + ")");
  }
}

os::FileHandle PathResolver::OpenFile(const std::string& given,
                                      const std::string& parameter) const {
  CheckText(given, parameter);
  os::FileFailure failure;
  os::FileHandle file = os::OpenFileBelow(Base(), given, Resolution(), failure);
  if (!file.Valid())
    throw Refusal(failure, given, parameter, "file");
  return file;
}

os::FileHandle PathResolver::OpenFolder(const std::string& given,
                                        const std::string& parameter) const {
  CheckText(given, parameter);
  os::FileFailure failure;
  os::FileHandle folder = os::OpenFolderBelow(Base(), given, Resolution(), failure);
  if (!folder.Valid())
    throw Refusal(failure, given, parameter, "folder");
  return folder;
}

OutputPlace PathResolver::PlaceOutput(const std::string& given,
                                      const std::string& parameter) const {
  CheckText(given, parameter);
  std::string output = "output \"" + given + "\"";
  std::size_t slash = given.rfind('/');
  OutputPlace place;
  place.label = given;
  place.name = slash == std::string::npos ? given : given.substr(slash + 1);
  // An absolute path in the top folder (given unconfined) has "/" for its folder.
  std::string folder =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : given.substr(0, slash));
  if (place.name.empty() || place.name == "." || place.name == "..")
    throw PdfError(output + " is a folder");

  os::FileFailure failure;
  place.folder = os::OpenFolderBelow(Base(), folder, Resolution(), failure);
  if (!place.folder.Valid()) {
    if (failure.problem == os::FileProblem::kMissing ||
        failure.problem == os::FileProblem::kNotFolder)
      throw PdfError(output + ": its folder does not exist");
    throw Refusal(failure, given, parameter, "folder");
  }
  // Whatever else has the name is replaced, a link included (never followed).
  std::optional<os::FileInfo> existing = os::DescribeEntry(place.folder, place.name);
  if (existing && existing->folder)
    throw PdfError(output + " is a folder");
  return place;
}

}  // namespace pdf::run
