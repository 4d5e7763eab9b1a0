// SHA-256 and ECDSA P-256 through OpenSSL's libcrypto: the host's own crypto, which the
// release tool ships and the in-memory machine's crypto calls. Every failure of the library
// reads as a refusal: no digest, no key, not verified.
#pragma once

#include "../Crypto.h"

#include <optional>

struct evp_md_ctx_st;

namespace platform::openssl {

class Digest {
public:
    Digest();
    ~Digest();
    Digest(const Digest&) = delete;
    Digest& operator=(const Digest&) = delete;

    void Update(const void* data, std::size_t size);
    // The digest of everything given; the object is spent afterwards.
    std::optional<Sha256Digest> Finish();

private:
    evp_md_ctx_st* context_;
    bool ok_;
};

bool Verify(const P256PublicKey& key, const Sha256Digest& digest, const P256Signature& signature);
std::optional<P256KeyPair> Generate();
std::optional<P256Signature> Sign(const P256KeyPair& key, const Sha256Digest& digest);

} // namespace platform::openssl
