#include "Keys.h"

#include "Files.h"
#include "History.h"
#include "KeyAccess.h"
#include "release/Hex.h"
#include "release/KeyId.h"
#include "release/ReleaseFormat.h"

namespace publish {

Result<platform::P256KeyPair> LoadKey(const std::string& file, std::istream& in) {
    std::string text;
    if (file == "-") {
        text.assign(release::kMaxKeyFileSize + 1, '\0');
        in.read(&text[0], static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<std::size_t>(in.gcount()));
    } else {
        auto read = ReadFile(file, release::kMaxKeyFileSize);
        if (!read) {
            return read.With(" (the key file)");
        }
        text = *read;
    }
    auto key = release::ParseKeyFile(text);
    if (!key) {
        return Refusal((file == "-" ? std::string("standard input") : "\"" + file + "\"") +
                       " holds no key file of quorvel-publish keygen");
    }
    return *key;
}

int Keygen(const Options& o, std::ostream& out, std::ostream& err) {
    const std::string& file = o.operand;
    auto key = platform::GenerateP256();
    if (!key) {
        err << "quorvel-publish: the system could not make a P-256 key pair\n";
        return 1;
    }
    if (Status written = WriteNewPrivateFile(file, release::WriteKeyFile(*key)); !written) {
        err << "quorvel-publish: " << written.problem() << "\n";
        return 1;
    }
    // What the system made of it: a file system that keeps no access list of its own (Wine
    // keeps mode bits) may leave the key open to others.
    if (auto others = OthersWhoMayRead(file); others && *others) {
        err << "quorvel-publish: warning: the system left \"" << file
            << "\" readable by others than its owner (" << **others
            << "): make it private before publishing with it\n";
    }
    out << "private key written to " << file << " (keep it secret, and out of every release "
        << "folder; it signs releases), key ID " << release::KeyId(key->publicKey) << "\n";
    out << "its release history will be " << HistoryBeside(file)
        << ": back up both, and keep them together\n";
    out << "public key, for QUORVEL_RELEASE_KEY and verify --public:\n";
    out << release::ToHex(key->publicKey) << "\n";
    return 0;
}

int PrintPublicKey(const Options& o, std::istream& in, std::ostream& out, std::ostream& err) {
    auto key = LoadKey(o.operand, in);
    if (!key) {
        err << "quorvel-publish: " << key.problem() << "\n";
        return 1;
    }
    out << release::ToHex(key->publicKey) << "\n";
    return 0;
}

} // namespace publish
