// Embedded files encrypted on their own. The standard security handler can encrypt only a
// document's attachments: its /EFF names a crypt filter while /StmF and /StrF are /Identity,
// so pages and strings are in the clear and readers open the document without a password.
// qpdf 11 asks for a password all the same, and even with it hands out the embedded files'
// encrypted bytes as their data, since it decrypts every stream by /StmF. These functions
// read such an encryption dictionary, decrypt the embedded files with the key of the password
// given, or, without the password, take them out of the document. Plain functions on one
// document; use from one thread.
#pragma once

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <optional>
#include <string>

#include "processors/pdf/document/decode_limit.h"

namespace pdf::document {

// How the embedded files of a document are encrypted.
enum class FileCipher { kNone, kRc4, kAes128, kAes256 };

// The cipher of the embedded files when `encrypt` (a trailer's /Encrypt) is the standard
// security handler (/V 4 or 5) and encrypts nothing but them: /StmF and /StrF /Identity or
// absent. kNone when /EFF is absent or /Identity too. nullopt when streams or strings are
// encrypted, or a filter's method is not one PDF defines.
std::optional<FileCipher> OnlyEmbeddedFilesCipher(QPDFObjectHandle encrypt);

// Decrypts, with the key of `pdf` (read with its password) and `cipher`, every embedded file
// reachable from its trailer: a stream under an attachment dictionary's /EF, or of /Type
// /EmbeddedFile, without a crypt filter of its own. Each one's data is replaced by the
// decrypted bytes, its filters kept. Throws PdfError naming `label` and the stream when its
// bytes are no AES data (not whole blocks, or the padding is wrong). The stored bytes, held in
// memory to be decrypted, are charged to `decoding` first; PdfError names the limit they pass.
void DecryptEmbeddedFiles(QPDF& pdf, FileCipher cipher, DecodeBudget& decoding,
                          const std::string& label);

// Takes the embedded files out of `pdf`, read without its password, when `cipher` encrypts
// them: each embedded file stream becomes null wherever it is referred to, and the catalog's
// /EmbeddedFiles list goes. Returns how many were taken out. Throws PdfError naming `label`
// and asking for the "password" when a stream names a crypt filter of its own, which only the
// password opens.
int DetachEmbeddedFiles(QPDF& pdf, FileCipher cipher, const std::string& label);

}  // namespace pdf::document
