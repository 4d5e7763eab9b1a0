// SHA-256 and ECDSA P-256 verification: published known answers, and a single flipped bit
// in the data, the signature or the key is a refusal.
#include "platform/Crypto.h"
#include "release/Hex.h"

#include <gtest/gtest.h>

namespace {

using platform::P256PublicKey;
using platform::P256Signature;
using platform::Sha256Digest;

std::string HexDigest(const std::optional<Sha256Digest>& digest) {
    return digest ? release::ToHex(*digest) : "(no digest)";
}

struct HashVector {
    std::string message;
    const char* digest;
};

// FIPS 180-2 examples and the NIST short messages.
TEST(CryptoContract, Sha256KnownAnswers) {
    const HashVector vectors[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& v : vectors) {
        EXPECT_EQ(HexDigest(platform::Sha256Of(v.message)), v.digest)
            << "message of " << v.message.size() << " bytes";
    }
}

// Fed in uneven pieces, across the 64-byte blocks, the digest is that of the whole.
TEST(CryptoContract, Sha256PiecewiseEqualsWhole) {
    std::string data;
    for (int i = 0; i < 5000; ++i) {
        data += static_cast<char>(i * 7 + i / 13);
    }
    const std::size_t pieces[] = {0, 1, 63, 64, 65, 127, 1000, 3680};
    platform::Sha256 hash;
    std::size_t at = 0;
    for (std::size_t piece : pieces) {
        hash.Update(data.data() + at, piece);
        at += piece;
    }
    ASSERT_EQ(at, data.size());
    EXPECT_EQ(HexDigest(hash.Finish()), HexDigest(platform::Sha256Of(data)));
    EXPECT_FALSE(hash.Finish().has_value()) << "a finished hash gives no second digest";
}

// RFC 6979, A.2.5: the P-256 key and its SHA-256 signatures of "sample" and "test".
const char* kPublicX = "60fed4ba255a9d31c961eb74c6356d68c049b8923b61fa6ce669622e60f29fb6";
const char* kPublicY = "7903fe1008b8bc99a41ae9e95628bc64f2f1b20c2d7e9f5177a3c294d4462299";
const char* kPrivate = "c9afa9d845ba75166b5c215767b1d6934e50c3db36e89b127b8a622b120f6721";
struct SignatureVector {
    const char* message;
    const char* r;
    const char* s;
};
const SignatureVector kSignatures[] = {
    {"sample", "efd48b2aacb6a8fd1140dd9cd45e81d69d2c877b56aaf991c34d0ea84eaf3716",
     "f7cb1c942d657c41d436c7a1b6e29f65f3e900dbb9aff4064dc4ab2f843acda8"},
    {"test", "f1abb023518351cd71d881567b1ea663ed3efcf6c5132b354f28d3b0b7d38367",
     "019f4113742a2b14bd25926b49c649155f267e60d3814b4c0cc84250e46f0083"},
};

P256PublicKey Key() {
    return *release::FromHex<64>(std::string(kPublicX) + kPublicY);
}
P256Signature Signature(const SignatureVector& v) {
    return *release::FromHex<64>(std::string(v.r) + v.s);
}
Sha256Digest Digest(const std::string& message) {
    return *platform::Sha256Of(message);
}

TEST(CryptoContract, P256KnownAnswersVerify) {
    for (const auto& v : kSignatures) {
        EXPECT_TRUE(platform::VerifyP256(Key(), Digest(v.message), Signature(v))) << v.message;
    }
    // Each signature belongs to its own message only.
    EXPECT_FALSE(platform::VerifyP256(Key(), Digest("test"), Signature(kSignatures[0])));
    EXPECT_FALSE(platform::VerifyP256(Key(), Digest("sample"), Signature(kSignatures[1])));
}

TEST(CryptoContract, FlippedBitInDataSignatureOrKeyIsRefused) {
    const SignatureVector& v = kSignatures[0];
    const int bits[] = {0, 7, 100, 255, 256, 300, 511};
    for (int bit : bits) {
        if (bit < 256) {
            Sha256Digest digest = Digest(v.message);
            digest[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
            EXPECT_FALSE(platform::VerifyP256(Key(), digest, Signature(v))) << "data bit " << bit;
        }
        P256Signature signature = Signature(v);
        signature[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
        EXPECT_FALSE(platform::VerifyP256(Key(), Digest(v.message), signature))
            << "signature bit " << bit;
        P256PublicKey key = Key();
        key[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
        EXPECT_FALSE(platform::VerifyP256(key, Digest(v.message), Signature(v)))
            << "key bit " << bit;
    }
}

TEST(CryptoContract, DegenerateKeysAndSignaturesAreRefused) {
    const SignatureVector& v = kSignatures[0];
    P256Signature zero{};
    P256Signature allOnes;
    allOnes.fill(0xFF); // r and s above the group order
    P256Signature zeroS = Signature(v);
    std::fill(zeroS.begin() + 32, zeroS.end(), std::uint8_t{0});
    for (const auto& signature : {zero, allOnes, zeroS}) {
        EXPECT_FALSE(platform::VerifyP256(Key(), Digest(v.message), signature));
    }
    EXPECT_FALSE(platform::VerifyP256(P256PublicKey{}, Digest(v.message), Signature(v)));
}

TEST(CryptoContract, SignaturesOfTheSystemVerify) {
    platform::P256KeyPair known;
    known.publicKey = Key();
    known.privateKey = *release::FromHex<32>(kPrivate);
    auto generated = platform::GenerateP256();
    ASSERT_TRUE(generated.has_value());
    EXPECT_NE(generated->publicKey, Key());
    for (const auto& pair : {known, *generated}) {
        const Sha256Digest digest = Digest("release 7");
        auto signature = platform::SignP256(pair, digest);
        ASSERT_TRUE(signature.has_value());
        EXPECT_TRUE(platform::VerifyP256(pair.publicKey, digest, *signature));
        EXPECT_FALSE(platform::VerifyP256(pair.publicKey, Digest("release 8"), *signature));
    }
}

} // namespace
