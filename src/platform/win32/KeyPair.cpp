// P-256 key generation and signing through the system's CNG, for the release tool.
#include "../Crypto.h"

#include "CngHandles.h"

#include <algorithm>
#include <vector>

namespace platform {

std::optional<P256KeyPair> GenerateP256() {
    cng::Algorithm algorithm = cng::Open(BCRYPT_ECDSA_P256_ALGORITHM);
    BCRYPT_KEY_HANDLE handle = nullptr;
    if (!algorithm || !cng::Succeeded(BCryptGenerateKeyPair(algorithm.get(), &handle, 256, 0))) {
        return std::nullopt;
    }
    cng::Key key(handle);
    if (!cng::Succeeded(BCryptFinalizeKeyPair(key.get(), 0))) {
        return std::nullopt;
    }
    std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + 96);
    ULONG size = 0;
    if (!cng::Succeeded(BCryptExportKey(key.get(), nullptr, BCRYPT_ECCPRIVATE_BLOB, blob.data(),
                                        static_cast<ULONG>(blob.size()), &size, 0)) ||
        size != blob.size()) {
        return std::nullopt;
    }
    BCRYPT_ECCKEY_BLOB header{};
    std::copy(blob.begin(), blob.begin() + sizeof(header), reinterpret_cast<UCHAR*>(&header));
    if (header.dwMagic != BCRYPT_ECDSA_PRIVATE_P256_MAGIC || header.cbKey != 32) {
        return std::nullopt;
    }
    P256KeyPair pair;
    auto at = blob.begin() + sizeof(header);
    std::copy(at, at + 64, pair.publicKey.begin());
    std::copy(at + 64, at + 96, pair.privateKey.begin());
    SecureZeroMemory(blob.data(), blob.size());
    return pair;
}

std::optional<P256Signature> SignP256(const P256KeyPair& pair, const Sha256Digest& digest) {
    cng::Algorithm algorithm = cng::Open(BCRYPT_ECDSA_P256_ALGORITHM);
    if (!algorithm) {
        return std::nullopt;
    }
    cng::Key key = cng::ImportP256(algorithm.get(), pair.publicKey, &pair.privateKey);
    if (!key) {
        return std::nullopt;
    }
    Sha256Digest hashCopy = digest;
    P256Signature signature{};
    ULONG size = 0;
    if (!cng::Succeeded(BCryptSignHash(key.get(), nullptr, hashCopy.data(),
                                       static_cast<ULONG>(hashCopy.size()), signature.data(),
                                       static_cast<ULONG>(signature.size()), &size, 0)) ||
        size != signature.size()) {
        return std::nullopt;
    }
    return signature;
}

} // namespace platform
