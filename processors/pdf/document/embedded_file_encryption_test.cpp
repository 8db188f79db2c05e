#include "processors/pdf/document/embedded_file_encryption.h"

#include <gtest/gtest.h>

namespace pdf::document {

namespace {

TEST(OnlyEmbeddedFilesCipher, TellsAttachmentOnlyEncryptionFromTheRest) {
  struct Case {
    const char* encrypt;
    std::optional<FileCipher> cipher;
  };
  const Case cases[] = {
      {"<< /Filter /Standard /V 5 /R 6 /CF << /StdCF << /CFM /AESV3 >> >> /StmF /Identity "
       "/StrF /Identity /EFF /StdCF >>",
       FileCipher::kAes256},
      {"<< /Filter /Standard /V 4 /R 4 /CF << /X << /CFM /AESV2 >> >> /EFF /X >>",
       FileCipher::kAes128},
      {"<< /Filter /Standard /V 4 /R 4 /CF << /X << /CFM /V2 >> >> /EFF /X >>", FileCipher::kRc4},
      // Nothing is encrypted: embedded files follow /StmF when there is no /EFF.
      {"<< /Filter /Standard /V 4 /R 4 /StmF /Identity /StrF /Identity >>", FileCipher::kNone},
      {"<< /Filter /Standard /V 4 /R 4 /CF << /X << /CFM /None >> >> /EFF /X >>",
       FileCipher::kNone},
      // Streams or strings encrypted too.
      {"<< /Filter /Standard /V 4 /R 4 /CF << /X << /CFM /AESV2 >> >> /StmF /X /StrF /Identity "
       "/EFF /X >>",
       std::nullopt},
      {"<< /Filter /Standard /V 4 /R 4 /CF << /X << /CFM /AESV2 >> >> /StrF /X /EFF /X >>",
       std::nullopt},
      // Before /V 4 one key encrypts everything; other handlers and unknown methods.
      {"<< /Filter /Standard /V 2 /R 3 >>", std::nullopt},
      {"<< /Filter /Other /V 4 /R 4 /EFF /Identity >>", std::nullopt},
      {"<< /Filter /Standard /V 4 /R 4 /CF << /X << /CFM /Fancy >> >> /EFF /X >>", std::nullopt},
      {"<< /Filter /Standard /V 4 /R 4 /EFF /Missing >>", std::nullopt},
      {"null", std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(OnlyEmbeddedFilesCipher(QPDFObjectHandle::parse(c.encrypt)), c.cipher) << c.encrypt;
}

}  // namespace

}  // namespace pdf::document
