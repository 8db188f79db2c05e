// Reading and writing PDF files with libqpdf. qpdf's failures become PdfErrors naming the
// file as the job gave it: a damaged file is refused rather than repaired on the quiet, and
// an encrypted one without the right password says that a password is needed. Reading
// counts the page tree before qpdf lists (and copies) its pages; writing checks what the
// writer will decode, counts every byte against the run's output budget, and checks the
// documents' warnings before the caller commits the output.
//
// A PdfFile shares its QPDF with the run's DamageWatch; the page helpers point into it. Use
// one from one thread.
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
#include "processors/pdf/document/pdfa_claim.h"
#include "processors/pdf/document/run_limits.h"
#include "processors/pdf/document/writer_decoding.h"
#include "processors/pdf/run/output_file.h"

namespace pdf::document {

struct PdfFile {
  std::string label;    // the path as the job gave it
  os::FileHandle file;  // the file read, open; other libraries reach it by its ProcPath
  std::shared_ptr<QPDF> pdf;
  std::vector<QPDFPageObjectHelper> pages;
  // Embedded files taken out: the document encrypts only its attachments and was read
  // without its password.
  int lockedAttachments = 0;
  // The page tree was mended in memory (MendPageTree): a reader of the file itself would see
  // it otherwise.
  bool pageTreeMended = false;

  int PageCount() const { return static_cast<int>(pages.size()); }
};

// Reads the PDF in the open `file` and its page list; the result owns the file. Throws
// PdfError naming `label` when the file is unreadable, damaged or not a PDF, or encrypted and
// `password` is missing or wrong (a document that encrypts only its embedded files is read
// without it, those files taken out with a warning and counted in lockedAttachments; with it,
// they are decrypted, which qpdf does not do), when its page tree declares or holds more than
// `maxPages` pages (counted before qpdf lists them, so a huge or self-multiplying tree is refused
// cheaply), when it holds no page, and when qpdf had to drop something while reading it.
// The document is watched by `limits.damage` from then on.
//
// With `damage` kRecover, qpdf reconstructs what it can of a damaged file (a broken
// cross-reference table, wrong stream lengths) instead, the document is not watched, and
// the caller reads its warnings (QPDF::getWarnings) to learn what was found.
enum class Damage { kRefuse, kRecover };
PdfFile OpenPdf(os::FileHandle file, const std::string& label,
                const std::optional<std::string>& password, long long maxPages, RunLimits& limits,
                Damage damage = Damage::kRefuse);

// How a document is written: what the writer decodes, and the rest of its setup
// (encryption, object streams, linearization), which must not change the decoding. An
// encrypted document is written encrypted as it was unless `keepEncryption` is false;
// `configure` may set another encryption.
struct WriteSetup {
  WriterDecoding decoding;
  bool linearize = false;
  bool keepEncryption = true;
  std::function<void(QPDFWriter&)> configure;
  // The operation encrypts the output, which a document declaring PDF/A must not be.
  bool encrypts = false;
  // The operation set the document's modification date itself (its metadata's dates are
  // otherwise brought up to the write's time in a document declaring PDF/A).
  bool setsModifyDate = false;
  // What the operation added that the PDF/A level a document declares does not allow ("" for
  // nothing): the document is still written, and WritePdf returns the warning that it no
  // longer is what it declares.
  std::function<std::string(const PdfaClaim&)> breaksPdfa;
};

// The setup of a rewrite as small as qpdf writes it: every stream qpdf can decode decoded
// and compressed again (Flate data too), object streams generated, and linearized when
// `linearize` says so. The writer drops every object the trailer does not reach.
WriteSetup CompactSetup(bool linearize);

// Writes `pdf`, made from the input `source` (a label, for messages), to `output` (not
// committing it). Every stream the writer will decode is checked first, the bytes are
// charged to `limits.output` as they are written, and afterwards every watched document's
// warnings are checked. Throws PdfError naming the output when writing fails or the output
// budget is passed, naming `source` when a stream passes VTPS_PDF_MAX_STREAM_BYTES, when
// qpdf cannot linearize it or its objects nest too deep for qpdf's recursive linearization
// (more than 10,000 levels), or when it turns out damaged while it is copied.
//
// A document whose metadata declares PDF/A (pdfa_claim.h) is written so that it stays
// conformant: a line end before every "endstream", no object or cross-reference streams for
// PDF/A-1, and the metadata's dates stamped with the write's time. Encrypting it is refused,
// naming the level it declares. Returns the warnings for the answer: that the output is no
// longer the PDF/A its input declares, when `setup.breaksPdfa` says so.
std::vector<std::string> WritePdf(QPDF& pdf, const run::OutputFile& output, RunLimits& limits,
                                  const std::string& source, const WriteSetup& setup = {});

}  // namespace pdf::document
