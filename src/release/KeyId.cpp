#include "KeyId.h"

#include "Hex.h"

namespace release {

std::string KeyId(const platform::P256PublicKey& key) {
    platform::Sha256 hash;
    hash.Update(key.data(), key.size());
    auto digest = hash.Finish();
    return digest ? ToHex(*digest).substr(0, kKeyIdDigits) : std::string();
}

bool ValidKeyId(const std::string& text) {
    if (text.size() != kKeyIdDigits) {
        return false;
    }
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

} // namespace release
