// SHA-256 and ECDSA P-256 verification through the system's CNG (bcrypt).
#include "../Crypto.h"

#include "CngHandles.h"

#include <algorithm>

namespace platform {

struct Sha256::Impl {
    cng::Algorithm algorithm = cng::Open(BCRYPT_SHA256_ALGORITHM);
    cng::Hash hash;
    bool ok = false;

    Impl() {
        BCRYPT_HASH_HANDLE handle = nullptr;
        ok = algorithm &&
             cng::Succeeded(BCryptCreateHash(algorithm.get(), &handle, nullptr, 0, nullptr, 0, 0));
        if (ok) {
            hash = cng::Hash(handle);
        }
    }
};

Sha256::Sha256() : impl_(std::make_unique<Impl>()) {}
Sha256::~Sha256() = default;

void Sha256::Update(const void* data, std::size_t size) {
    auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
    while (impl_->ok && size > 0) {
        ULONG piece = static_cast<ULONG>(std::min<std::size_t>(size, 1u << 30));
        impl_->ok = cng::Succeeded(BCryptHashData(impl_->hash.get(), bytes, piece, 0));
        bytes += piece;
        size -= piece;
    }
}

std::optional<Sha256Digest> Sha256::Finish() {
    Sha256Digest digest{};
    bool ok = impl_->ok && cng::Succeeded(BCryptFinishHash(impl_->hash.get(), digest.data(),
                                                           static_cast<ULONG>(digest.size()), 0));
    impl_->ok = false;
    if (!ok) {
        return std::nullopt;
    }
    return digest;
}

bool VerifyP256(const P256PublicKey& key, const Sha256Digest& digest,
                const P256Signature& signature) {
    cng::Algorithm algorithm = cng::Open(BCRYPT_ECDSA_P256_ALGORITHM);
    if (!algorithm) {
        return false;
    }
    cng::Key imported = cng::ImportP256(algorithm.get(), key, nullptr);
    if (!imported) {
        return false;
    }
    Sha256Digest hashCopy = digest;
    P256Signature signatureCopy = signature;
    return cng::Succeeded(BCryptVerifySignature(
        imported.get(), nullptr, hashCopy.data(), static_cast<ULONG>(hashCopy.size()),
        signatureCopy.data(), static_cast<ULONG>(signatureCopy.size()), 0));
}

} // namespace platform
