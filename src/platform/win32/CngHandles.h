// Owners of CNG handles and the raw P-256 key blobs CNG imports and exports.
#pragma once

#include "Handles.h"

#include <bcrypt.h>

#include "../Crypto.h"

#include <vector>

namespace platform::cng {

struct AlgorithmTraits {
    using Native = BCRYPT_ALG_HANDLE;
    static Native Invalid() { return nullptr; }
    static void Close(Native h) { BCryptCloseAlgorithmProvider(h, 0); }
};
struct KeyTraits {
    using Native = BCRYPT_KEY_HANDLE;
    static Native Invalid() { return nullptr; }
    static void Close(Native h) { BCryptDestroyKey(h); }
};
struct HashTraits {
    using Native = BCRYPT_HASH_HANDLE;
    static Native Invalid() { return nullptr; }
    static void Close(Native h) { BCryptDestroyHash(h); }
};
using Algorithm = UniqueHandle<AlgorithmTraits>;
using Key = UniqueHandle<KeyTraits>;
using Hash = UniqueHandle<HashTraits>;

// Only STATUS_SUCCESS counts; every other status, warnings included, is a refusal.
inline bool Succeeded(NTSTATUS status) {
    return status == 0;
}

inline Algorithm Open(LPCWSTR name) {
    BCRYPT_ALG_HANDLE handle = nullptr;
    if (!Succeeded(BCryptOpenAlgorithmProvider(&handle, name, nullptr, 0))) {
        return Algorithm();
    }
    return Algorithm(handle);
}

// The header, X, Y and, for a private blob, the scalar.
inline std::vector<UCHAR> P256Blob(const P256PublicKey& publicKey,
                                   const P256PrivateKey* privateKey) {
    BCRYPT_ECCKEY_BLOB header{};
    header.dwMagic =
        privateKey != nullptr ? BCRYPT_ECDSA_PRIVATE_P256_MAGIC : BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
    header.cbKey = 32;
    std::vector<UCHAR> blob(sizeof(header));
    std::copy(reinterpret_cast<const UCHAR*>(&header),
              reinterpret_cast<const UCHAR*>(&header) + sizeof(header), blob.begin());
    blob.insert(blob.end(), publicKey.begin(), publicKey.end());
    if (privateKey != nullptr) {
        blob.insert(blob.end(), privateKey->begin(), privateKey->end());
    }
    return blob;
}

inline Key ImportP256(BCRYPT_ALG_HANDLE algorithm, const P256PublicKey& publicKey,
                      const P256PrivateKey* privateKey) {
    std::vector<UCHAR> blob = P256Blob(publicKey, privateKey);
    BCRYPT_KEY_HANDLE key = nullptr;
    NTSTATUS status = BCryptImportKeyPair(
        algorithm, nullptr, privateKey != nullptr ? BCRYPT_ECCPRIVATE_BLOB : BCRYPT_ECCPUBLIC_BLOB,
        &key, blob.data(), static_cast<ULONG>(blob.size()), 0);
    SecureZeroMemory(blob.data(), blob.size());
    if (!Succeeded(status)) {
        return Key();
    }
    return Key(key);
}

} // namespace platform::cng
