#include "OpenSslKey.h"

#include <openssl/core_names.h>
#include <openssl/params.h>

#include <algorithm>

namespace platform::openssl {

Key ImportP256(const P256PublicKey& publicKey, const P256PrivateKey* privateKey) {
    // Uncompressed point: 0x04, X, Y.
    unsigned char point[65] = {0x04};
    std::copy(publicKey.begin(), publicKey.end(), point + 1);
    char group[] = "prime256v1";
    Bignum scalar;
    std::vector<unsigned char> scalarNative;
    OSSL_PARAM params[4];
    int n = 0;
    params[n++] = OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, group, 0);
    params[n++] = OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, point, sizeof(point));
    if (privateKey != nullptr) {
        scalar.reset(BN_bin2bn(privateKey->data(), static_cast<int>(privateKey->size()), nullptr));
        if (!scalar) {
            return Key();
        }
        // OSSL_PARAM carries integers in native byte order.
        scalarNative.resize(privateKey->size());
        if (BN_bn2nativepad(scalar.get(), scalarNative.data(),
                            static_cast<int>(scalarNative.size())) < 0) {
            return Key();
        }
        params[n++] = OSSL_PARAM_construct_BN(OSSL_PKEY_PARAM_PRIV_KEY, scalarNative.data(),
                                              scalarNative.size());
    }
    params[n] = OSSL_PARAM_construct_end();
    KeyContext context(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    EVP_PKEY* key = nullptr;
    if (!context || EVP_PKEY_fromdata_init(context.get()) != 1 ||
        EVP_PKEY_fromdata(context.get(), &key,
                          privateKey != nullptr ? EVP_PKEY_KEYPAIR : EVP_PKEY_PUBLIC_KEY,
                          params) != 1) {
        return Key();
    }
    return Key(key);
}

std::vector<unsigned char> DerSignature(const P256Signature& signature) {
    Signature sig(ECDSA_SIG_new());
    Bignum r(BN_bin2bn(signature.data(), 32, nullptr));
    Bignum s(BN_bin2bn(signature.data() + 32, 32, nullptr));
    if (!sig || !r || !s || ECDSA_SIG_set0(sig.get(), r.get(), s.get()) != 1) {
        return {};
    }
    r.release(); // owned by sig now
    s.release();
    int size = i2d_ECDSA_SIG(sig.get(), nullptr);
    if (size <= 0) {
        return {};
    }
    std::vector<unsigned char> der(static_cast<std::size_t>(size));
    unsigned char* out = der.data();
    if (i2d_ECDSA_SIG(sig.get(), &out) != size) {
        return {};
    }
    return der;
}

} // namespace platform::openssl
