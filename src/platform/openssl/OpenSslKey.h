// Owners of OpenSSL objects and the conversions between the raw P-256 forms and OpenSSL's.
#pragma once

#include "../Crypto.h"

#include <openssl/bn.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>

#include <memory>
#include <vector>

namespace platform::openssl {

struct KeyFree {
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct KeyContextFree {
    void operator()(EVP_PKEY_CTX* p) const { EVP_PKEY_CTX_free(p); }
};
struct BignumFree {
    void operator()(BIGNUM* p) const { BN_free(p); }
};
struct SignatureFree {
    void operator()(ECDSA_SIG* p) const { ECDSA_SIG_free(p); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using KeyContext = std::unique_ptr<EVP_PKEY_CTX, KeyContextFree>;
using Bignum = std::unique_ptr<BIGNUM, BignumFree>;
using Signature = std::unique_ptr<ECDSA_SIG, SignatureFree>;

// The key of a public point, with the private scalar too when one is given. Empty when the
// point is not on the curve or anything fails.
Key ImportP256(const P256PublicKey& publicKey, const P256PrivateKey* privateKey);

// r||s as the DER structure OpenSSL signs and verifies; empty on failure.
std::vector<unsigned char> DerSignature(const P256Signature& signature);

} // namespace platform::openssl
