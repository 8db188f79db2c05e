#include "processors/pdf/confined_path.h"

#include <algorithm>
#include <system_error>

#include "processors/pdf/pdf_error.h"

namespace fs = std::filesystem;

namespace {

// True when `path` is `root` or lies below it; both are canonical.
bool IsInside(const fs::path& path, const fs::path& root) {
  auto rootEnd = root.end();
  // A trailing separator shows up as a final empty element; it does not count.
  if (root.has_relative_path() && root.filename().empty())
    --rootEnd;
  return std::mismatch(root.begin(), rootEnd, path.begin(), path.end()).first == rootEnd;
}

}  // namespace

PathResolver::PathResolver(const std::optional<std::string>& root) {
  if (!root || root->empty())
    return;
  std::error_code error;
  fs::path canonical = fs::canonical(*root, error);
  if (error || !fs::is_directory(canonical, error))
    throw PdfError("VTPS_PDF_ROOT names \"" + *root + "\", which is not a folder");
  root_ = canonical;
}

fs::path PathResolver::Resolve(const std::string& given, const std::string& parameter) const {
  std::string where = "parameter \"" + parameter + "\"";
  if (given.empty())
    throw PdfError(where + " is empty");
  // A NUL byte would cut the path short behind the checks' back.
  if (std::any_of(given.begin(), given.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
    throw PdfError(where + ": the path holds a control character");
  if (!root_)
    return fs::path(given);

  fs::path relative(given);
  if (relative.is_absolute())
    throw PdfError(where + ": \"" + given +
                   "\" is absolute; paths are taken relative to VTPS_PDF_ROOT");
  std::error_code error;
  fs::path resolved = fs::weakly_canonical(*root_ / relative, error);
  if (error)
    throw PdfError(where + ": \"" + given + "\" cannot be resolved (" + error.message() + ")");
  if (!IsInside(resolved, *root_))
    throw PdfError(where + ": \"" + given + "\" leads outside VTPS_PDF_ROOT");
  return resolved;
}
