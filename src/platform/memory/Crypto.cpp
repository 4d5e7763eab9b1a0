// The in-memory machine's crypto: OpenSSL's, with a fault point at each call.
#include "../openssl/OpenSsl.h"
#include "Machine.h"

namespace platform {

using memory::Op;
using memory::TheMachine;

struct Sha256::Impl {
    openssl::Digest digest;
    bool failed = false;
};

Sha256::Sha256() : impl_(std::make_unique<Impl>()) {
    impl_->failed = TheMachine().Enter(Op::Sha256);
}
Sha256::~Sha256() = default;

void Sha256::Update(const void* data, std::size_t size) {
    impl_->failed = TheMachine().Enter(Op::Sha256Update) || impl_->failed;
    impl_->digest.Update(data, size);
}

std::optional<Sha256Digest> Sha256::Finish() {
    auto digest = impl_->digest.Finish();
    if (TheMachine().Enter(Op::Sha256Finish) || impl_->failed) {
        return std::nullopt;
    }
    return digest;
}

bool VerifyP256(const P256PublicKey& key, const Sha256Digest& digest,
                const P256Signature& signature) {
    return !TheMachine().Enter(Op::VerifyP256) && openssl::Verify(key, digest, signature);
}

std::optional<P256KeyPair> GenerateP256() {
    if (TheMachine().Enter(Op::GenerateP256)) {
        return std::nullopt;
    }
    return openssl::Generate();
}

std::optional<P256Signature> SignP256(const P256KeyPair& key, const Sha256Digest& digest) {
    if (TheMachine().Enter(Op::SignP256)) {
        return std::nullopt;
    }
    return openssl::Sign(key, digest);
}

} // namespace platform
