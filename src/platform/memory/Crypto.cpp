// SHA-256 and ECDSA P-256 verification through OpenSSL's libcrypto.
#include "../Crypto.h"

#include "OpenSslKey.h"

#include <openssl/ecdsa.h>
#include <openssl/evp.h>

#include <vector>

namespace platform {

struct Sha256::Impl {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    bool ok = context != nullptr && EVP_DigestInit_ex(context, EVP_sha256(), nullptr) == 1;
    ~Impl() { EVP_MD_CTX_free(context); }
};

Sha256::Sha256() : impl_(std::make_unique<Impl>()) {}
Sha256::~Sha256() = default;

void Sha256::Update(const void* data, std::size_t size) {
    if (impl_->ok && size > 0) {
        impl_->ok = EVP_DigestUpdate(impl_->context, data, size) == 1;
    }
}

std::optional<Sha256Digest> Sha256::Finish() {
    Sha256Digest digest{};
    unsigned int size = 0;
    bool ok = impl_->ok && EVP_DigestFinal_ex(impl_->context, digest.data(), &size) == 1 &&
              size == digest.size();
    impl_->ok = false;
    if (!ok) {
        return std::nullopt;
    }
    return digest;
}

std::optional<Sha256Digest> Sha256Of(const std::string& bytes) {
    Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return hash.Finish();
}

bool VerifyP256(const P256PublicKey& key, const Sha256Digest& digest,
                const P256Signature& signature) {
    openssl::Key pkey = openssl::ImportP256(key, nullptr);
    std::vector<unsigned char> der = openssl::DerSignature(signature);
    if (!pkey || der.empty()) {
        return false;
    }
    openssl::KeyContext context(EVP_PKEY_CTX_new(pkey.get(), nullptr));
    return context && EVP_PKEY_verify_init(context.get()) == 1 &&
           EVP_PKEY_verify(context.get(), der.data(), der.size(), digest.data(), digest.size()) ==
               1;
}

} // namespace platform
