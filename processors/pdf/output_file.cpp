#include "processors/pdf/output_file.h"

#include <cstdio>
#include <random>
#include <system_error>

#include "processors/pdf/pdf_error.h"

namespace fs = std::filesystem;

namespace {

// A name no other writer picks: the final name, hidden, with a random suffix.
fs::path TempNameBeside(const fs::path& finalPath) {
  static std::mt19937_64 generator{std::random_device{}()};
  std::error_code error;
  for (;;) {
    char suffix[20];
    std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(generator()));
    fs::path candidate =
        finalPath.parent_path() / ("." + finalPath.filename().string() + ".tmp-" + suffix);
    if (!fs::exists(fs::symlink_status(candidate, error)))
      return candidate;
  }
}

}  // namespace

OutputFile::OutputFile(fs::path finalPath, std::string label)
    : finalPath_(std::move(finalPath)), label_(std::move(label)) {
  std::error_code error;
  fs::path folder = finalPath_.parent_path();
  if (folder.empty())
    folder = ".";
  if (!fs::is_directory(folder, error))
    throw PdfError("output \"" + label_ + "\": its folder does not exist");
  if (!finalPath_.has_filename() || fs::is_directory(finalPath_, error))
    throw PdfError("output \"" + label_ + "\" is a folder");
  tempPath_ = TempNameBeside(finalPath_);
}

OutputFile::~OutputFile() {
  if (!committed_) {
    std::error_code ignored;
    fs::remove(tempPath_, ignored);
  }
}

void OutputFile::Commit() {
  std::error_code error;
  if (!fs::is_regular_file(tempPath_, error))
    throw PdfError("output \"" + label_ + "\" was not written");
  fs::rename(tempPath_, finalPath_, error);
  if (error) {
    fs::remove(tempPath_, error);
    throw PdfError("output \"" + label_ + "\" cannot be written (" + error.message() + ")");
  }
  committed_ = true;
}
