// OutputFile: a file that is written without a name and given its final name only once it is
// complete. Readers never see a half-written file, an input at the same path stays as it was
// until the commit, and a run that is killed leaves nothing behind: the content is an unnamed
// file (O_TMPFILE) where the file system allows, otherwise a hidden, locked name that the next
// output made in that folder removes once its writer is gone. A run writing thousands of
// outputs closes each once it is complete: its content then keeps a hidden name until the
// commit, protected from that cleanup by one lock the run holds for the folder, so that the
// run needs no open file per output.
//
// The object owns its content file and shares its folder with other outputs in the same
// folder. Destroying it before Commit discards the content. Use one object from one thread.
#pragma once

#include <memory>
#include <string>

#include "platform/os/folder_files.h"

namespace pdf::run {

// Which file an output replaces: its folder and its name there.
struct OutputTarget {
  os::FileId folder;
  std::string name;
  auto operator<=>(const OutputTarget&) const = default;
};

class OutputFile {
 public:
  // How the content file is made; tests choose kNamed to try what file systems without
  // unnamed files get.
  enum class Content { kUnnamedWherePossible, kNamed };

  // Creates the content file in `folder` for the final name `name`; `label` names the output
  // in messages. Throws PdfError naming the label when the file cannot be created.
  OutputFile(std::shared_ptr<const os::FileHandle> folder, std::string name, std::string label,
             Content content = Content::kUnnamedWherePossible);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // An output at `path` resolved as the OS resolves it, for files the server names (the job
  // file); it gets the permissions of the file it replaces. Throws PdfError naming the path
  // when its folder cannot be opened.
  static std::unique_ptr<OutputFile> AtPath(const std::string& path);

  // The content file, open for reading and writing (invalid once closed).
  const os::FileHandle& File() const { return content_; }
  // A path that opens the content file, for libraries that only write to paths.
  std::string WritablePath() const { return content_.ProcPath(); }
  const std::string& Label() const { return label_; }
  OutputTarget Target() const { return {os::Describe(*folder_).id, name_}; }

  // Closes the complete content file, which keeps a hidden name until the commit. Throws
  // PdfError naming the label when it cannot be given one; the content is then discarded.
  void Close();

  // The content opened again for reading, whether closed or not. Throws PdfError naming the
  // label when it cannot be opened.
  os::FileHandle OpenContent() const;

  // Gives the content its final name, replacing a file (or link) there. Throws PdfError
  // naming the label when that fails; the content is then discarded.
  void Commit();

  // Gives the content its final name only where nothing has that name: returns false, the
  // content kept and uncommitted, when the name is taken at that moment (RenameTarget then
  // picks another). Never replaces anything. Throws PdfError as Commit does otherwise.
  bool CommitIfFree();

  // Changes the final name (in the same folder) and the label of an uncommitted output.
  void RenameTarget(std::string name, std::string label);

 private:
  std::shared_ptr<const os::FileHandle> folder_;
  std::string name_;
  std::string label_;
  os::FileHandle content_;
  std::string hiddenName_;  // the content's name while it has one ("" while unnamed)
  std::shared_ptr<const os::FileHandle> runLock_;  // held while the content is closed
  bool committed_ = false;
};

// Removes the hidden content files that outputs in `folder` left when their writer was killed:
// those older than a minute whose lock (their own, or for closed ones their run's) is free.
// Done once per folder and run by OutputFile itself; exposed for tests.
void RemoveAbandonedOutputs(const os::FileHandle& folder);

}  // namespace pdf::run
