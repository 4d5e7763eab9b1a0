// P-256 key generation and signing through OpenSSL's libcrypto, for the release tool.
#include "OpenSsl.h"
#include "OpenSslKey.h"

#include <openssl/core_names.h>

namespace platform::openssl {

namespace {

bool ToFixed(const BIGNUM* number, std::uint8_t* out, int size) {
    return number != nullptr && BN_bn2binpad(number, out, size) == size;
}

bool KeyNumber(EVP_PKEY* key, const char* name, std::uint8_t* out) {
    BIGNUM* raw = nullptr;
    if (EVP_PKEY_get_bn_param(key, name, &raw) != 1) {
        return false;
    }
    Bignum number(raw);
    return ToFixed(number.get(), out, 32);
}

} // namespace

std::optional<P256KeyPair> Generate() {
    KeyContext context(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    char group[] = "P-256";
    OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, group, 0),
                           OSSL_PARAM_construct_end()};
    EVP_PKEY* raw = nullptr;
    if (!context || EVP_PKEY_keygen_init(context.get()) != 1 ||
        EVP_PKEY_CTX_set_params(context.get(), params) != 1 ||
        EVP_PKEY_generate(context.get(), &raw) != 1) {
        return std::nullopt;
    }
    Key key(raw);
    P256KeyPair pair;
    if (!KeyNumber(key.get(), OSSL_PKEY_PARAM_PRIV_KEY, pair.privateKey.data()) ||
        !KeyNumber(key.get(), OSSL_PKEY_PARAM_EC_PUB_X, pair.publicKey.data()) ||
        !KeyNumber(key.get(), OSSL_PKEY_PARAM_EC_PUB_Y, pair.publicKey.data() + 32)) {
        return std::nullopt;
    }
    return pair;
}

std::optional<P256Signature> Sign(const P256KeyPair& pair, const Sha256Digest& digest) {
    Key key = ImportP256(pair.publicKey, &pair.privateKey);
    if (!key) {
        return std::nullopt;
    }
    KeyContext context(EVP_PKEY_CTX_new(key.get(), nullptr));
    std::size_t size = 0;
    if (!context || EVP_PKEY_sign_init(context.get()) != 1 ||
        EVP_PKEY_sign(context.get(), nullptr, &size, digest.data(), digest.size()) != 1) {
        return std::nullopt;
    }
    std::vector<unsigned char> der(size);
    if (EVP_PKEY_sign(context.get(), der.data(), &size, digest.data(), digest.size()) != 1) {
        return std::nullopt;
    }
    const unsigned char* in = der.data();
    Signature sig(d2i_ECDSA_SIG(nullptr, &in, static_cast<long>(size)));
    P256Signature out{};
    if (!sig || !ToFixed(ECDSA_SIG_get0_r(sig.get()), out.data(), 32) ||
        !ToFixed(ECDSA_SIG_get0_s(sig.get()), out.data() + 32, 32)) {
        return std::nullopt;
    }
    return out;
}

} // namespace platform::openssl
