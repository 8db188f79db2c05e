// OutputFile: a file that is written under a temporary name beside its final path and
// renamed over that path only once it is complete. Readers never see a half-written file,
// and an input at the same path stays as it was until the rename.
//
// The object owns its temporary file: destroying it before Commit removes that file. Use
// one object from one thread.
#pragma once

#include <filesystem>
#include <string>

class OutputFile {
 public:
  // `label` is the path as the job gave it, for messages. Throws PdfError naming the label
  // when the folder of `finalPath` does not exist or `finalPath` is a folder.
  OutputFile(std::filesystem::path finalPath, std::string label);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Where the content is to be written: a name in the final folder that nothing used.
  const std::filesystem::path& TempPath() const { return tempPath_; }
  const std::filesystem::path& FinalPath() const { return finalPath_; }
  const std::string& Label() const { return label_; }

  // Renames the temporary file to the final path, replacing a file there. Throws PdfError
  // naming the label when the temporary file is missing or the rename fails; the temporary
  // file is then removed.
  void Commit();

 private:
  std::filesystem::path finalPath_;
  std::string label_;
  std::filesystem::path tempPath_;
  bool committed_ = false;
};
