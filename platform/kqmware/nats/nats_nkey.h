// NATS NKeys: a user proves who it is by signing the server's nonce with the Ed25519 key in its
// seed, and names itself by the public key. libnats signs from the seed file itself but needs
// the public key given; NKeyPublicKey derives it from the seed.
//
// An NKey is base32 text (RFC 4648, no padding) of a prefix, the key and a CRC-16 (XMODEM,
// little-endian) of both: a user seed starts "SU", a user public key "U". Built where libnats
// and OpenSSL are (not the Windows build). Pure and thread-safe.
#pragma once

#include <string>
#include <string_view>

namespace kqm {

// The public key ("U...", 56 characters) of the user NKey seed `seed` ("SU...", 58
// characters). Throws KQ_EException saying what is wrong when `seed` is not a user seed (a
// character outside base32, a wrong length, prefix or checksum); the message never holds the
// seed.
std::string NKeyPublicKey(std::string_view seed);

// The user seed in the text of a seed file: its first word that starts with "SU" (a file
// that holds only the seed, or a credentials-style file with the seed between markers); ""
// when there is none.
std::string_view FindNKeySeed(std::string_view fileText);

// Overwrites the text of a secret (a seed file's text) in place, in a way the compiler keeps.
void WipeSecret(std::string& text);

}  // namespace kqm
