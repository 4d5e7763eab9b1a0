#include "Keys.h"

#include "Files.h"
#include "release/Hex.h"
#include "release/ReleaseFormat.h"

namespace publish {

std::optional<platform::P256KeyPair> LoadKey(const std::string& file, std::istream& in,
                                             std::string& problem) {
    std::optional<std::string> text;
    if (file == "-") {
        std::string read(release::kMaxKeyFileSize + 1, '\0');
        in.read(&read[0], static_cast<std::streamsize>(read.size()));
        read.resize(static_cast<std::size_t>(in.gcount()));
        text = read;
    } else {
        text = ReadFile(file, release::kMaxKeyFileSize, problem);
        if (!text) {
            problem += " (the key file)";
            return std::nullopt;
        }
    }
    auto key = release::ParseKeyFile(*text);
    if (!key) {
        problem = (file == "-" ? std::string("standard input") : "\"" + file + "\"") +
                  " holds no key file of quorvel-publish keygen";
    }
    return key;
}

int Keygen(const Options& o, std::ostream& out, std::ostream& err) {
    const std::string& file = o.operand;
    std::string problem;
    auto key = platform::GenerateP256();
    if (!key) {
        err << "quorvel-publish: the system could not make a P-256 key pair\n";
        return 1;
    }
    if (!WriteNewPrivateFile(file, release::WriteKeyFile(*key), problem)) {
        err << "quorvel-publish: " << problem << "\n";
        return 1;
    }
    out << "private key written to " << file << " (keep it secret, and out of every release "
        << "folder; it signs releases)\n";
    out << "public key, for QUORVEL_RELEASE_KEY and verify --public:\n";
    out << release::ToHex(key->publicKey) << "\n";
    return 0;
}

int PrintPublicKey(const Options& o, std::istream& in, std::ostream& out, std::ostream& err) {
    std::string problem;
    auto key = LoadKey(o.operand, in, problem);
    if (!key) {
        err << "quorvel-publish: " << problem << "\n";
        return 1;
    }
    out << release::ToHex(key->publicKey) << "\n";
    return 0;
}

} // namespace publish
