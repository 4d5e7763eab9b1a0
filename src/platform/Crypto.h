// SHA-256 and ECDSA P-256, the system's own implementation on each platform. Every failure
// of the underlying library reads as a refusal: no digest, no key, not verified.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace platform {

using Sha256Digest = std::array<std::uint8_t, 32>;
// X then Y, big-endian.
using P256PublicKey = std::array<std::uint8_t, 64>;
using P256PrivateKey = std::array<std::uint8_t, 32>;
// r then s, big-endian.
using P256Signature = std::array<std::uint8_t, 64>;

// A SHA-256 computed piece by piece. Once anything has failed, Finish gives nothing.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Update(const void* data, std::size_t size);
    // The digest of everything given; the object is spent afterwards.
    std::optional<Sha256Digest> Finish();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

inline std::optional<Sha256Digest> Sha256Of(const std::string& bytes) {
    Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return hash.Finish();
}

// True only when the signature over the digest was made with the key's private half.
// A key that is no point of the curve, or any failure, is false.
bool VerifyP256(const P256PublicKey& key, const Sha256Digest& digest,
                const P256Signature& signature);

// For the release tool.
struct P256KeyPair {
    P256PrivateKey privateKey{};
    P256PublicKey publicKey{};
};
std::optional<P256KeyPair> GenerateP256();
std::optional<P256Signature> SignP256(const P256KeyPair& key, const Sha256Digest& digest);

} // namespace platform
