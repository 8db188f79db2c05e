// Reading an input whole and copying it to an output unchanged, through the descriptor the
// run opened (never its path again), with the copy charged to the run's output budget. Used
// where an operation passes data through: JPEG images into a PDF, and a PDF that needs no
// change. Use from one thread.
#pragma once

#include <string>

#include "platform/os/folder_files.h"
#include "processors/pdf/run/output_budget.h"
#include "processors/pdf/run/output_file.h"

namespace pdf::run {

// The content of the open `file`, at most `maxBytes` long. Throws PdfError naming `what`
// (`file "a.jpg"`) and `setting` when the file is longer, or when it cannot be read.
std::string ReadWholeFile(const os::FileHandle& file, const std::string& what, long long maxBytes,
                          const std::string& setting);

// The first `bytes` bytes of the open `file` (fewer when it is shorter), read from its start.
// Throws PdfError naming `what` when it cannot be read.
std::string ReadFileStart(const os::FileHandle& file, const std::string& what, std::size_t bytes);

// Writes the content of the open `file` to `output` (not committing it), charging `budget`.
// Throws PdfError naming `what` when the file cannot be read, and as BudgetedFile does.
void CopyFileTo(const os::FileHandle& file, const std::string& what, const OutputFile& output,
                OutputBudget& budget);

}  // namespace pdf::run
