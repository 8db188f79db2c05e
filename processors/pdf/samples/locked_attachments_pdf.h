// Documents that encrypt only their attachments, as "encrypt only file attachments" writes
// them: the standard security handler with /StmF and /StrF /Identity, so that pages and
// strings are in the clear, and /EFF naming an AES crypt filter for the embedded files. Made
// as raw PDF text, libqpdf computing the password entries and the keys. Plain functions;
// nothing is shared.
#pragma once

#include <string>

namespace pdf::samples {

// The crypt filter of the embedded files: AES-128 (/V 4 /R 4, /AESV2) or AES-256 (/V 5 /R 6,
// /AESV3).
enum class AttachmentCipher { kAes128, kAes256 };

struct LockedAttachmentsDocument {
  AttachmentCipher cipher = AttachmentCipher::kAes256;
  std::string userPassword = "user-pw";
  std::string ownerPassword = "owner-pw";
  // Listed in the catalog's /EmbeddedFiles, Flate-compressed, then encrypted.
  std::string fileName = "secret.txt";
  std::string fileData = "the attached secret";
  // Set: a file attachment annotation on the page holds a second embedded file.
  std::string annotationData;
};

// The whole file: one page showing "Page 1" (RawPdf's OnePage) and the attachments.
std::string LockedAttachmentsPdf(const LockedAttachmentsDocument& document);

}  // namespace pdf::samples
