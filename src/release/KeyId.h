// The short name of a public key that messages, signatures and the release history use.
#pragma once

#include "../platform/Crypto.h"

#include <string>

namespace release {

constexpr std::size_t kKeyIdDigits = 16;

// The first kKeyIdDigits hex digits of the SHA-256 of the key's 64 bytes (X then Y); empty
// when the digest cannot be had.
std::string KeyId(const platform::P256PublicKey& key);
// Whether a text is written as KeyId writes one: kKeyIdDigits lower-case hex digits.
bool ValidKeyId(const std::string& text);

} // namespace release
