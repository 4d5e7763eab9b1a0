// The platform's crypto on the host, for the release tool: OpenSSL as it is.
#include "OpenSsl.h"

namespace platform {

struct Sha256::Impl {
    openssl::Digest digest;
};

Sha256::Sha256() : impl_(std::make_unique<Impl>()) {}
Sha256::~Sha256() = default;

void Sha256::Update(const void* data, std::size_t size) {
    impl_->digest.Update(data, size);
}

std::optional<Sha256Digest> Sha256::Finish() {
    return impl_->digest.Finish();
}

bool VerifyP256(const P256PublicKey& key, const Sha256Digest& digest,
                const P256Signature& signature) {
    return openssl::Verify(key, digest, signature);
}

std::optional<P256KeyPair> GenerateP256() {
    return openssl::Generate();
}

std::optional<P256Signature> SignP256(const P256KeyPair& key, const Sha256Digest& digest) {
    return openssl::Sign(key, digest);
}

} // namespace platform
