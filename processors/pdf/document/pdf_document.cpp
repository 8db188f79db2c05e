#include "processors/pdf/document/pdf_document.h"

#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include <cstdio>

#include "processors/pdf/document/budgeted_pipeline.h"
#include "processors/pdf/document/embedded_file_encryption.h"
#include "processors/pdf/document/page_tree.h"
#include "processors/pdf/document/pdfa_claim.h"
#include "processors/pdf/document/reachable_objects.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::document {

namespace {

// The deepest nesting linearized: 3.7 MB of qpdf's recursion, half the main stack.
constexpr long long kMaxLinearizedNesting = 10'000;

// A key to read a document with in place of its password: qpdf then checks no password and
// decrypts with it what the security handler encrypts. Only a document that encrypts nothing
// but its embedded files is read so (which are then taken out), so the key never matters.
constexpr const char* kPlaceholderKey =
    "0000000000000000000000000000000000000000000000000000000000000000";

// Reads the PDF in `handle` into `pdf`, with `password` or, when `hexKey`, with `password` as
// the key itself. Throws PdfError naming `file` when it cannot be read; a password qpdf
// refuses is returned as false.
bool ReadPdf(QPDF& pdf, const os::FileHandle& handle, const std::string& label,
             const std::string& file, const char* password, bool hexKey, Damage damage) {
  // qpdf reads through a stream of its own, which it closes when done.
  std::FILE* stream = os::OpenStream(handle, "rb");
  if (stream == nullptr)
    throw PdfError(file + " cannot be opened");
  pdf.setSuppressWarnings(true);
  // A damaged file is refused unless the caller asked for a repair: a repaired one may
  // silently lose pages or content.
  pdf.setAttemptRecovery(damage == Damage::kRecover);
  pdf.setPasswordIsHexKey(hexKey);
  try {
    // The label names the file in qpdf's own messages, so that they never show the root.
    pdf.processFile(label.c_str(), stream, true, password);
  } catch (const QPDFExc& e) {
    if (e.getErrorCode() == qpdf_e_password)
      return false;
    throw PdfError(file + " is damaged or not a PDF (" + e.getMessageDetail() + ")" +
                   (damage == Damage::kRefuse ? kRepairHint : ""));
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    throw PdfError(file + " cannot be read (" + e.what() + ")");
  }
  return true;
}

// The cipher of `pdf`'s embedded files when they are all it encrypts.
std::optional<FileCipher> OnlyEmbeddedFilesEncrypted(QPDF& pdf) {
  return pdf.isEncrypted() ? OnlyEmbeddedFilesCipher(pdf.getTrailer().getKey("/Encrypt"))
                           : std::nullopt;
}

}  // namespace

PdfFile OpenPdf(os::FileHandle handle, const std::string& label,
                const std::optional<std::string>& password, long long maxPages, RunLimits& limits,
                Damage damage) {
  std::string file = "file \"" + label + "\"";
  PdfFile result;
  result.label = label;
  result.file = std::move(handle);
  result.pdf = std::make_shared<QPDF>();
  limits.workingOn = file;
  // Set when the document was read without its password: how its embedded files are encrypted.
  std::optional<FileCipher> withoutPassword;
  if (!ReadPdf(*result.pdf, result.file, label, file, password ? password->c_str() : nullptr, false,
               damage)) {
    if (password)
      throw PdfError(file + ": the password is wrong");
    // A document that encrypts only its attachments opens without its password, as in
    // readers; its attachments cannot, and are taken out below. Any other document read
    // with a key not its own is garbage: whatever that reading says, the password is missing.
    result.pdf = std::make_shared<QPDF>();
    try {
      if (ReadPdf(*result.pdf, result.file, label, file, kPlaceholderKey, true, damage))
        withoutPassword = OnlyEmbeddedFilesEncrypted(*result.pdf);
    } catch (const PdfError&) {
      withoutPassword.reset();
    }
    if (!withoutPassword)
      throw PdfError(file + " is encrypted; give its \"password\"");
  }
  if (damage == Damage::kRefuse)
    limits.damage.Watch(result.pdf, file);

  try {
    QPDFObjectHandle declared = result.pdf->getRoot().getKey("/Pages").getKey("/Count");
    if (declared.isInteger() && declared.getIntValue() > maxPages)
      throw PdfError(file + " has " + std::to_string(declared.getIntValue()) +
                     " pages; this run may read at most " + std::to_string(maxPages) +
                     " more (VTPS_PDF_MAX_PAGES)");
    // qpdf's page list copies repeated pages, so the tree is counted before it is listed.
    CountPageTreeLeaves(*result.pdf, label, maxPages);
    if (std::string found = MendPageTree(*result.pdf); !found.empty()) {
      result.pageTreeMended = true;
      limits.damage.Note(file + ": its page tree, which has " + found +
                         ", was read as the plain tree of the same pages");
    }
    if (withoutPassword) {
      result.lockedAttachments = DetachEmbeddedFiles(*result.pdf, *withoutPassword, label);
      // Written without encryption: the key read with is not the file's.
      result.pdf->getTrailer().removeKey("/Encrypt");
      if (result.lockedAttachments > 0)
        limits.damage.Note(file + " encrypts its attachments; without its \"password\" its " +
                           std::to_string(result.lockedAttachments) +
                           " embedded files are left out");
    } else if (std::optional<FileCipher> cipher = OnlyEmbeddedFilesEncrypted(*result.pdf)) {
      DecryptEmbeddedFiles(*result.pdf, *cipher, limits.decoding, label);
    }
    result.pages = QPDFPageDocumentHelper(*result.pdf).getAllPages();
  } catch (const PdfError&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const QPDFExc& e) {
    throw PdfError(file + " is damaged or not a PDF (" + e.getMessageDetail() + ")" +
                   (damage == Damage::kRefuse ? kRepairHint : ""));
  } catch (const std::exception& e) {
    throw PdfError(file + " cannot be read (" + e.what() + ")");
  }
  limits.damage.Check();
  if (result.pages.empty())
    throw PdfError(file + " has no pages");
  return result;
}

WriteSetup CompactSetup(bool linearize) {
  WriteSetup setup;
  setup.decoding.level = qpdf_dl_generalized;
  setup.decoding.compressStreams = true;
  setup.decoding.recompressFlate = true;
  setup.linearize = linearize;
  setup.configure = [](QPDFWriter& writer) { writer.setObjectStreamMode(qpdf_o_generate); };
  return setup;
}

std::vector<std::string> WritePdf(QPDF& pdf, const run::OutputFile& output, RunLimits& limits,
                                  const std::string& source, const WriteSetup& setup) {
  std::string outputName = "output \"" + output.Label() + "\"";
  limits.workingOn = "file \"" + source + "\"";
  std::optional<PdfaClaim> pdfa = DeclaredPdfa(pdf, limits, source);
  if (pdfa && setup.encrypts)
    throw PdfError("file \"" + source + "\" declares " + pdfa->Name() +
                   ", which forbids encryption: an encrypted copy would no longer be " +
                   pdfa->Name());
  if (pdfa)
    StampPdfaDates(pdf, limits, source, UtcNow(), !setup.setsModifyDate);
  CheckWriterDecoding(pdf, setup.decoding, limits.decoding, source);
  // qpdf's linearization walks the objects recursively, one stack frame of some 370 bytes
  // per level: a file nesting 11,000 name-tree nodes overflows the 8 MiB stack.
  if (setup.linearize) {
    long long depth = DeepestNesting(pdf.getTrailer(), kMaxLinearizedNesting + 1);
    if (depth > kMaxLinearizedNesting)
      throw PdfError("file \"" + source + "\" nests its objects more than " +
                     std::to_string(kMaxLinearizedNesting) +
                     " levels deep, too deep to linearize; set \"linearize\" to \"false\" "
                     "to write it without");
  }
  try {
    run::BudgetedFile file(os::OpenStream(output.File(), "wb"), output.Label(), limits.output);
    BudgetedPipeline pipeline(file);
    QPDFWriter writer(pdf);
    writer.setOutputPipeline(&pipeline);
    writer.setDecodeLevel(setup.decoding.level);
    writer.setCompressStreams(setup.decoding.compressStreams);
    writer.setRecompressFlate(setup.decoding.recompressFlate);
    writer.setLinearization(setup.linearize);
    // qpdf drops an input's encryption once the decoding is set (it holds that decoded
    // streams and encryption do not go together), so it is copied here; a document read
    // without its password has no /Encrypt left.
    if (setup.keepEncryption && pdf.isEncrypted() && pdf.getTrailer().hasKey("/Encrypt"))
      writer.copyEncryptionParameters(pdf);
    if (setup.configure)
      setup.configure(writer);
    // PDF/A wants the stream data's end marked by a line end of its own, and PDF/A-1, made
    // on PDF 1.4, knows no object or cross-reference streams.
    if (pdfa) {
      writer.setNewlineBeforeEndstream(true);
      if (pdfa->part == 1)
        writer.setObjectStreamMode(qpdf_o_disable);
    }
    writer.write();
    file.Close();
  } catch (const PdfError&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    std::string detail = e.what();
    std::string internal = "INTERNAL ERROR: ";
    if (std::size_t at = detail.find(internal); at != std::string::npos)
      detail.erase(at, internal.size());
    if (setup.linearize && detail.find("inearization") != std::string::npos)
      throw PdfError("file \"" + source + "\" cannot be linearized (" + detail +
                     "); set \"linearize\" to \"false\" to write it without");
    // qpdf's linearization does its own page-tree and hint-table work, and not every failure
    // in it says so: whoever asked for it learns how to write without it.
    if (setup.linearize)
      throw PdfError(outputName + " cannot be written (" + detail +
                     "); if linearizing is what fails, set \"linearize\" to \"false\"");
    throw PdfError(outputName + " cannot be written (" + detail + ")");
  }
  limits.damage.Check();
  std::vector<std::string> warnings;
  if (pdfa && setup.breaksPdfa) {
    if (std::string added = setup.breaksPdfa(*pdfa); !added.empty())
      warnings.push_back("file \"" + source + "\" declares " + pdfa->Name() +
                         ", but the output is not " + pdfa->Name() + ": it adds " + added);
  }
  return warnings;
}

}  // namespace pdf::document
