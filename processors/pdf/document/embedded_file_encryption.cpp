#include "processors/pdf/document/embedded_file_encryption.h"

#include <qpdf/Buffer.hh>
#include <qpdf/QPDFCryptoProvider.hh>

#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "processors/pdf/document/reachable_objects.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::document {

namespace {

constexpr std::size_t kAesBlock = 16;

// The method of the crypt filter `name` in `encrypt`'s /CF, or nullopt when PDF defines none
// such. /Identity is the predefined filter that leaves data as it is.
std::optional<FileCipher> FilterCipher(QPDFObjectHandle encrypt, QPDFObjectHandle name) {
  if (name.isNull() || name.isNameAndEquals("/Identity"))
    return FileCipher::kNone;
  if (!name.isName())
    return std::nullopt;
  QPDFObjectHandle filters = encrypt.getKey("/CF");
  QPDFObjectHandle filter = filters.isDictionary() ? filters.getKey(name.getName()) : filters;
  if (!filter.isDictionary())
    return std::nullopt;
  QPDFObjectHandle method = filter.getKey("/CFM");
  if (method.isNull() || method.isNameAndEquals("/None"))
    return FileCipher::kNone;
  if (method.isNameAndEquals("/V2"))
    return FileCipher::kRc4;
  if (method.isNameAndEquals("/AESV2"))
    return FileCipher::kAes128;
  if (method.isNameAndEquals("/AESV3"))
    return FileCipher::kAes256;
  return std::nullopt;
}

int IntegerEntry(QPDFObjectHandle dictionary, const char* key) {
  QPDFObjectHandle value = dictionary.getKey(key);
  return value.isInteger() ? value.getIntValueAsInt() : 0;
}

// Whether `dictionary` (a stream's) names a crypt filter of its own among its filters.
bool NamesCryptFilter(QPDFObjectHandle dictionary) {
  QPDFObjectHandle filter = dictionary.getKey("/Filter");
  if (filter.isArray()) {
    for (QPDFObjectHandle item : filter.aitems())
      if (item.isNameAndEquals("/Crypt"))
        return true;
    return false;
  }
  return filter.isNameAndEquals("/Crypt");
}

// Whether the crypt filter `dictionary` names of its own (if any) encrypts: one without a
// /Name in its parameters is /Identity.
bool EncryptedByOwnFilter(QPDFObjectHandle dictionary) {
  QPDFObjectHandle filter = dictionary.getKey("/Filter");
  QPDFObjectHandle parameters = dictionary.getKey("/DecodeParms");
  if (filter.isArray()) {
    int count = filter.getArrayNItems();
    for (int i = 0; i < count; ++i) {
      if (filter.getArrayItem(i).isNameAndEquals("/Crypt")) {
        parameters = parameters.isArray() && i < parameters.getArrayNItems()
                         ? parameters.getArrayItem(i)
                         : QPDFObjectHandle::newNull();
        break;
      }
    }
  } else if (!filter.isNameAndEquals("/Crypt")) {
    return false;
  }
  QPDFObjectHandle name =
      parameters.isDictionary() ? parameters.getKey("/Name") : QPDFObjectHandle::newNull();
  return !(name.isNull() || name.isNameAndEquals("/Identity"));
}

bool IsEmbeddedFile(QPDFObjectHandle stream, const std::string& parentKey) {
  return parentKey == "/EF" || stream.getDict().getKey("/Type").isNameAndEquals("/EmbeddedFile");
}

// The streams reachable from `pdf`'s trailer for which `select(stream, parentKey)` holds, each
// once.
std::vector<QPDFObjectHandle> ReachableStreams(
    QPDF& pdf, const std::function<bool(QPDFObjectHandle, const std::string&)>& select) {
  std::vector<QPDFObjectHandle> streams;
  std::set<QPDFObjGen> seen;
  ForEachReachableStream(
      pdf.getTrailer(), {"/Encrypt"}, seen,
      [&](QPDFObjectHandle stream, const std::string&, const std::string& parentKey) {
        if (select(stream, parentKey))
          streams.push_back(stream);
      });
  return streams;
}

// `data` (an initialisation vector, then whole blocks) decrypted with AES in CBC mode, its
// PKCS#5 padding removed; nullopt when it is not such data.
std::optional<std::string> AesDecrypted(const std::string& key, const std::string& data) {
  if (data.empty())
    return std::string();
  if (data.size() < kAesBlock || data.size() % kAesBlock != 0)
    return std::nullopt;
  unsigned char vector[kAesBlock];
  data.copy(reinterpret_cast<char*>(vector), kAesBlock);
  std::shared_ptr<QPDFCryptoImpl> aes = QPDFCryptoProvider::getImpl();
  aes->rijndael_init(false, reinterpret_cast<const unsigned char*>(key.data()), key.size(), true,
                     vector);
  std::string plain;
  plain.reserve(data.size() - kAesBlock);
  std::string block(kAesBlock, '\0');
  for (std::size_t at = kAesBlock; at < data.size(); at += kAesBlock) {
    unsigned char out[kAesBlock];
    block.assign(data, at, kAesBlock);
    aes->rijndael_process(reinterpret_cast<unsigned char*>(block.data()), out);
    plain.append(reinterpret_cast<const char*>(out), kAesBlock);
  }
  aes->rijndael_finalize();
  if (plain.empty())
    return plain;
  auto padding = static_cast<unsigned char>(plain.back());
  if (padding == 0 || padding > kAesBlock)
    return std::nullopt;
  for (std::size_t i = plain.size() - padding; i < plain.size(); ++i)
    if (static_cast<unsigned char>(plain[i]) != padding)
      return std::nullopt;
  plain.resize(plain.size() - padding);
  return plain;
}

std::string Rc4Decrypted(const std::string& key, const std::string& data) {
  std::shared_ptr<QPDFCryptoImpl> rc4 = QPDFCryptoProvider::getImpl();
  rc4->RC4_init(reinterpret_cast<const unsigned char*>(key.data()), static_cast<int>(key.size()));
  std::string plain(data.size(), '\0');
  rc4->RC4_process(reinterpret_cast<const unsigned char*>(data.data()), data.size(),
                   reinterpret_cast<unsigned char*>(plain.data()));
  rc4->RC4_finalize();
  return plain;
}

}  // namespace

std::optional<FileCipher> OnlyEmbeddedFilesCipher(QPDFObjectHandle encrypt) {
  if (!encrypt.isDictionary() || !encrypt.getKey("/Filter").isNameAndEquals("/Standard"))
    return std::nullopt;
  int version = IntegerEntry(encrypt, "/V");
  if (version != 4 && version != 5)
    return std::nullopt;  // before /V 4 one key encrypts everything
  for (const char* key : {"/StmF", "/StrF"}) {
    std::optional<FileCipher> cipher = FilterCipher(encrypt, encrypt.getKey(key));
    if (cipher != FileCipher::kNone)
      return std::nullopt;
  }
  return FilterCipher(encrypt, encrypt.getKey("/EFF"));
}

void DecryptEmbeddedFiles(QPDF& pdf, FileCipher cipher, DecodeBudget& decoding,
                          const std::string& label) {
  if (cipher == FileCipher::kNone)
    return;
  QPDFObjectHandle encrypt = pdf.getTrailer().getKey("/Encrypt");
  int version = IntegerEntry(encrypt, "/V");
  int revision = IntegerEntry(encrypt, "/R");
  std::string fileKey = pdf.getEncryptionKey();
  bool aes = cipher != FileCipher::kRc4;
  // A stream naming a crypt filter of its own is decrypted by qpdf already.
  std::vector<QPDFObjectHandle> files =
      ReachableStreams(pdf, [](QPDFObjectHandle stream, const std::string& parentKey) {
        return IsEmbeddedFile(stream, parentKey) && !NamesCryptFilter(stream.getDict());
      });
  for (QPDFObjectHandle& file : files) {
    QPDFObjGen id = file.getObjGen();
    std::string key =
        QPDF::compute_data_key(fileKey, id.getObj(), id.getGen(), aes, version, revision);
    QPDFObjectHandle length = file.getDict().getKey("/Length");
    long long stored = length.isInteger() ? length.getIntValue() : 0;
    if (stored > decoding.NextStreamLimit())
      decoding.ThrowPassed(file, label);
    std::shared_ptr<Buffer> raw = file.getRawStreamData();
    decoding.Charge(static_cast<long long>(raw->getSize()), label);
    std::string data(reinterpret_cast<const char*>(raw->getBuffer()), raw->getSize());
    std::optional<std::string> plain = aes ? AesDecrypted(key, data) : Rc4Decrypted(key, data);
    if (!plain)
      throw PdfError("file \"" + label + "\": embedded file " + id.unparse(' ') +
                     " cannot be decrypted (its data is no AES data)");
    QPDFObjectHandle dictionary = file.getDict();
    file.replaceStreamData(*plain, dictionary.getKey("/Filter"), dictionary.getKey("/DecodeParms"));
  }
}

int DetachEmbeddedFiles(QPDF& pdf, FileCipher cipher, const std::string& label) {
  std::vector<QPDFObjectHandle> files;
  ReachableStreams(pdf, [&](QPDFObjectHandle stream, const std::string& parentKey) {
    if (IsEmbeddedFile(stream, parentKey)) {
      if (cipher != FileCipher::kNone)
        files.push_back(stream);
    } else if (EncryptedByOwnFilter(stream.getDict())) {
      throw PdfError("file \"" + label + "\": stream " + stream.getObjGen().unparse(' ') +
                     " is encrypted; give the file's \"password\"");
    }
    return false;
  });
  for (QPDFObjectHandle& file : files)
    pdf.replaceObject(file.getObjGen(), QPDFObjectHandle::newNull());
  QPDFObjectHandle names = pdf.getRoot().getKey("/Names");
  if (!files.empty() && names.isDictionary())
    names.removeKey("/EmbeddedFiles");
  return static_cast<int>(files.size());
}

}  // namespace pdf::document
