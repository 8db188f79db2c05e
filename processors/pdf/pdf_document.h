// Reading and writing PDF files with libqpdf. qpdf's failures become PdfErrors naming the
// file as the job gave it: a damaged file is refused rather than repaired on the quiet, and
// an encrypted one without the right password says that a password is needed.
//
// A PdfFile owns its QPDF; the page helpers point into it. Use one from one thread.
#pragma once

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/os/folder_files.h"
#include "processors/pdf/output_file.h"

struct PdfFile {
  std::string label;    // the path as the job gave it
  os::FileHandle file;  // the file read, open; other libraries reach it by its ProcPath
  std::unique_ptr<QPDF> pdf;
  std::vector<QPDFPageObjectHelper> pages;

  int PageCount() const { return static_cast<int>(pages.size()); }
};

// Reads the PDF in the open `file` and its page list; the result owns the file. Throws
// PdfError naming `label` when the file is unreadable, damaged or not a PDF, or encrypted and
// `password` is missing or wrong, and when its page tree declares more than `maxPages` pages
// (checked before the tree is walked, so a huge document is refused cheaply).
PdfFile OpenPdf(os::FileHandle file, const std::string& label,
                const std::optional<std::string>& password, long long maxPages);

// Writes `pdf` to the temporary path of `output` (not committing it), after `configure`
// has set up the writer. Throws PdfError naming the output when writing fails, also when
// an input turns out damaged while its objects are copied.
void WritePdf(QPDF& pdf, const OutputFile& output,
              const std::function<void(QPDFWriter&)>& configure = {});
