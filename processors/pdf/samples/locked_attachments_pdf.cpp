#include "processors/pdf/samples/locked_attachments_pdf.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFCryptoProvider.hh>
#include <qpdf/QUtil.hh>

#include "processors/pdf/samples/raw_pdf.h"

namespace pdf::samples {

namespace {

constexpr int kPermissions = -4;  // everything allowed
constexpr std::size_t kBlock = 16;

std::string Hex(const std::string& bytes) {
  return "<" + QUtil::hex_encode(bytes) + ">";
}

// `data` encrypted as PDF's AES crypt filters store it: a 16-byte initialisation vector, then
// the data padded to whole blocks (PKCS#5) in CBC mode, the provider chaining the blocks as
// it does for qpdf's own writer.
std::string AesEncrypted(const std::string& key, const std::string& data) {
  std::string padded = data;
  padded.append(kBlock - data.size() % kBlock, static_cast<char>(kBlock - data.size() % kBlock));
  unsigned char vector[kBlock + 1] = "fixed-sample-iv!";  // a sample needs no randomness
  std::string out(reinterpret_cast<const char*>(vector), kBlock);
  std::shared_ptr<QPDFCryptoImpl> aes = QPDFCryptoProvider::getImpl();
  aes->rijndael_init(true, reinterpret_cast<const unsigned char*>(key.data()), key.size(), true,
                     vector);
  for (std::size_t at = 0; at < padded.size(); at += kBlock) {
    unsigned char cipher[kBlock];
    aes->rijndael_process(reinterpret_cast<unsigned char*>(padded.data() + at), cipher);
    out.append(reinterpret_cast<const char*>(cipher), kBlock);
  }
  aes->rijndael_finalize();
  return out;
}

struct Security {
  std::string dictionary;  // the /Encrypt dictionary
  std::string fileKey;
  int version = 0;
};

Security StandardSecurity(const LockedAttachmentsDocument& document, const std::string& id) {
  Security security;
  std::string filter;
  if (document.cipher == AttachmentCipher::kAes256) {
    std::string o, u, oe, ue, perms;
    QPDF::compute_encryption_parameters_V5(document.userPassword.c_str(),
                                           document.ownerPassword.c_str(), 5, 6, 32, kPermissions,
                                           true, id, security.fileKey, o, u, oe, ue, perms);
    security.version = 5;
    security.dictionary = "<< /Filter /Standard /V 5 /R 6 /Length 256 /P " +
                          std::to_string(kPermissions) + " /O " + Hex(o) + " /U " + Hex(u) +
                          " /OE " + Hex(oe) + " /UE " + Hex(ue) + " /Perms " + Hex(perms);
    filter = "/CFM /AESV3 /Length 32";
  } else {
    std::string o, u;
    QPDF::compute_encryption_O_U(document.userPassword.c_str(), document.ownerPassword.c_str(), 4,
                                 4, 16, kPermissions, true, id, o, u);
    QPDF::EncryptionData data(4, 4, 16, kPermissions, o, u, "", "", "", id, true);
    security.fileKey = QPDF::compute_encryption_key(document.userPassword, data);
    security.version = 4;
    security.dictionary = "<< /Filter /Standard /V 4 /R 4 /Length 128 /P " +
                          std::to_string(kPermissions) + " /O " + Hex(o) + " /U " + Hex(u);
    filter = "/CFM /AESV2 /Length 16";
  }
  security.dictionary += " /CF << /StdCF << " + filter +
                         " /AuthEvent /EFOpen >> >> /StmF /Identity /StrF /Identity /EFF /StdCF >>";
  return security;
}

// An embedded file stream object `number` holding `data`, Flate-compressed and encrypted.
std::string EmbeddedFile(const Security& security, int number, const std::string& data) {
  std::string key = QPDF::compute_data_key(security.fileKey, number, 0, true, security.version,
                                           security.version == 5 ? 6 : 4);
  return Stream(AesEncrypted(key, Deflated(data)),
                " /Type /EmbeddedFile /Filter /FlateDecode /Params << /Size " +
                    std::to_string(data.size()) + " >>");
}

}  // namespace

std::string LockedAttachmentsPdf(const LockedAttachmentsDocument& document) {
  const std::string id = "locked-sample-id";  // 16 bytes
  Security security = StandardSecurity(document, id);
  bool annotated = !document.annotationData.empty();
  // Objects 1 to 5 are OnePage's; the catalog's file list is object 6.
  RawPdf pdf = OnePage("/Names << /EmbeddedFiles 6 0 R >>", annotated ? "/Annots [9 0 R]" : "");
  pdf.Add("<< /Names [(" + document.fileName + ") 7 0 R] >>");
  pdf.Add("<< /Type /Filespec /F (" + document.fileName + ") /UF (" + document.fileName +
          ") /EF << /F 8 0 R >> >>");
  pdf.Add(EmbeddedFile(security, 8, document.fileData));
  if (annotated) {
    pdf.Add(
        "<< /Type /Annot /Subtype /FileAttachment /Rect [72 600 92 620] /Name /PushPin "
        "/Contents (notes) /FS 10 0 R >>");
    pdf.Add("<< /Type /Filespec /F (notes.txt) /UF (notes.txt) /EF << /F 11 0 R >> >>");
    pdf.Add(EmbeddedFile(security, 11, document.annotationData));
  }
  int encrypt = pdf.Add(security.dictionary);
  pdf.Trailer("/Encrypt " + Ref(encrypt) + " /ID [" + Hex(id) + " " + Hex(id) + "] ");
  return pdf.Text();
}

}  // namespace pdf::samples
