#include "platform/kqmware/nats/nats_nkey.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/kqtypes/kq_exception.h"

namespace kqm {

namespace {

constexpr char kBase32[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
constexpr unsigned char kUserPrefix = 20 << 3;  // 'U'
constexpr unsigned char kSeedPrefix = 18 << 3;  // 'S'
constexpr std::size_t kKeyBytes = 32;

// Wipes the bytes of a secret when it goes.
template <std::size_t N>
struct Secret {
  std::array<unsigned char, N> bytes{};
  ~Secret() { OPENSSL_cleanse(bytes.data(), bytes.size()); }
};

std::uint16_t Crc16(const unsigned char* data, std::size_t size) {
  std::uint16_t crc = 0;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= static_cast<std::uint16_t>(data[i] << 8);
    for (int bit = 0; bit < 8; ++bit)
      crc = static_cast<std::uint16_t>((crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1);
  }
  return crc;
}

// Decodes base32 `text` into exactly `out.size()` bytes; false when it does not fit.
template <std::size_t N>
bool DecodeBase32(std::string_view text, std::array<unsigned char, N>& out) {
  if (text.size() != (N * 8 + 4) / 5)
    return false;
  std::uint32_t buffer = 0;
  int bits = 0;
  std::size_t written = 0;
  for (char c : text) {
    int value = -1;
    if (c >= 'A' && c <= 'Z')
      value = c - 'A';
    else if (c >= '2' && c <= '7')
      value = c - '2' + 26;
    if (value < 0)
      return false;
    buffer = (buffer << 5) | static_cast<std::uint32_t>(value);
    bits += 5;
    if (bits >= 8) {
      bits -= 8;
      out[written++] = static_cast<unsigned char>(buffer >> bits);
      buffer &= (1u << bits) - 1;
    }
  }
  // The bits left over are padding and must be zero.
  return written == N && buffer == 0;
}

std::string EncodeBase32(const unsigned char* data, std::size_t size) {
  std::string text;
  std::uint32_t buffer = 0;
  int bits = 0;
  for (std::size_t i = 0; i < size; ++i) {
    buffer = (buffer << 8) | data[i];
    bits += 8;
    while (bits >= 5) {
      bits -= 5;
      text += kBase32[(buffer >> bits) & 31];
    }
    buffer &= (1u << bits) - 1;
  }
  if (bits > 0)
    text += kBase32[(buffer << (5 - bits)) & 31];
  return text;
}

}  // namespace

std::string NKeyPublicKey(std::string_view seed) {
  // Two prefix bytes, the 32-byte Ed25519 seed and the checksum.
  Secret<2 + kKeyBytes + 2> raw;
  if (!DecodeBase32(seed, raw.bytes))
    throw KQ_EException("the NKey seed is malformed: expected 58 characters of base32 (A-Z, 2-7)");
  std::uint16_t crc = Crc16(raw.bytes.data(), 2 + kKeyBytes);
  if (raw.bytes[2 + kKeyBytes] != (crc & 0xff) || raw.bytes[3 + kKeyBytes] != (crc >> 8))
    throw KQ_EException("the NKey seed's checksum does not match");
  unsigned char kind = static_cast<unsigned char>((raw.bytes[0] & 7) << 5 | raw.bytes[1] >> 3);
  if ((raw.bytes[0] & 0xf8) != kSeedPrefix || kind != kUserPrefix)
    throw KQ_EException("the NKey seed is not a user seed (it must start with \"SU\")");

  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
      EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, raw.bytes.data() + 2, kKeyBytes),
      &EVP_PKEY_free);
  std::array<unsigned char, 1 + kKeyBytes + 2> pub{};
  pub[0] = kUserPrefix;
  std::size_t length = kKeyBytes;
  if (key == nullptr || EVP_PKEY_get_raw_public_key(key.get(), pub.data() + 1, &length) != 1 ||
      length != kKeyBytes)
    throw KQ_EException("the public key of the NKey seed cannot be derived (OpenSSL failed)");
  std::uint16_t pubCrc = Crc16(pub.data(), 1 + kKeyBytes);
  pub[1 + kKeyBytes] = static_cast<unsigned char>(pubCrc & 0xff);
  pub[2 + kKeyBytes] = static_cast<unsigned char>(pubCrc >> 8);
  return EncodeBase32(pub.data(), pub.size());
}

std::string_view FindNKeySeed(std::string_view fileText) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  std::size_t at = 0;
  while (at < fileText.size()) {
    while (at < fileText.size() && blank(fileText[at]))
      ++at;
    std::size_t end = at;
    while (end < fileText.size() && !blank(fileText[end]))
      ++end;
    std::string_view word = fileText.substr(at, end - at);
    if (word.size() >= 2 && word[0] == 'S' && word[1] == 'U')
      return word;
    at = end;
  }
  return {};
}

void WipeSecret(std::string& text) {
  OPENSSL_cleanse(text.data(), text.size());
}

}  // namespace kqm
