// SHA-256 and ECDSA P-256 verification through OpenSSL's libcrypto.
#include "OpenSsl.h"
#include "OpenSslKey.h"

#include <openssl/ecdsa.h>
#include <openssl/evp.h>

#include <vector>

namespace platform::openssl {

Digest::Digest()
    : context_(EVP_MD_CTX_new()),
      ok_(context_ != nullptr && EVP_DigestInit_ex(context_, EVP_sha256(), nullptr) == 1) {}

Digest::~Digest() {
    EVP_MD_CTX_free(context_);
}

void Digest::Update(const void* data, std::size_t size) {
    if (ok_ && size > 0) {
        ok_ = EVP_DigestUpdate(context_, data, size) == 1;
    }
}

std::optional<Sha256Digest> Digest::Finish() {
    Sha256Digest digest{};
    unsigned int size = 0;
    bool ok =
        ok_ && EVP_DigestFinal_ex(context_, digest.data(), &size) == 1 && size == digest.size();
    ok_ = false;
    if (!ok) {
        return std::nullopt;
    }
    return digest;
}

bool Verify(const P256PublicKey& key, const Sha256Digest& digest, const P256Signature& signature) {
    Key pkey = ImportP256(key, nullptr);
    std::vector<unsigned char> der = DerSignature(signature);
    if (!pkey || der.empty()) {
        return false;
    }
    KeyContext context(EVP_PKEY_CTX_new(pkey.get(), nullptr));
    return context && EVP_PKEY_verify_init(context.get()) == 1 &&
           EVP_PKEY_verify(context.get(), der.data(), der.size(), digest.data(), digest.size()) ==
               1;
}

} // namespace platform::openssl
