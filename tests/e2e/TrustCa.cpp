// Makes a test prefix trust a test certificate authority: adds the DER certificate named on
// the command line to the machine's "Root" store.
//   quorvel-trust-ca.exe CA.der
#include <windows.h>
// after windows.h, whose types it uses
#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quorvel-trust-ca CA.der\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::vector<unsigned char> der((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
    if (der.empty()) {
        std::fprintf(stderr, "quorvel-trust-ca: cannot read %s\n", argv[1]);
        return 1;
    }
    HCERTSTORE store =
        CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "Root");
    if (store == nullptr) {
        std::fprintf(stderr, "quorvel-trust-ca: no Root store (%lu)\n", GetLastError());
        return 1;
    }
    BOOL added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(),
                                                  static_cast<DWORD>(der.size()),
                                                  CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    DWORD error = GetLastError();
    CertCloseStore(store, 0);
    if (!added) {
        std::fprintf(stderr, "quorvel-trust-ca: not added (%lu)\n", error);
        return 1;
    }
    return 0;
}
