#include "Tool.h"

#include "Plan.h"
#include "ReleaseFolder.h"
#include "release/Hex.h"

#include <optional>

namespace publish {

namespace {

constexpr const char* kUsage =
    "usage: quorvel-publish keygen KEYFILE\n"
    "       quorvel-publish publish RELEASE_DIR [--previous OLD_LIST] [--key KEYFILE]\n"
    "                               [--release N] [--allow-shift] [--8bit-names]\n"
    "       quorvel-publish verify RELEASE_DIR --public HEX\n";

struct Options {
    std::vector<std::string> positional;
    std::optional<std::string> previous;
    std::optional<std::string> key;
    std::optional<std::string> releaseNumber;
    std::optional<std::string> publicKey;
    bool allowShift = false;
    bool eightBitNames = false;
};

std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::ostream& err) {
    Options o;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::optional<std::string>& into) {
            if (i + 1 >= args.size()) {
                err << "quorvel-publish: " << a << " needs a value\n";
                return false;
            }
            into = args[++i];
            return true;
        };
        bool ok = true;
        if (a == "--previous") {
            ok = value(o.previous);
        } else if (a == "--key") {
            ok = value(o.key);
        } else if (a == "--release") {
            ok = value(o.releaseNumber);
        } else if (a == "--public") {
            ok = value(o.publicKey);
        } else if (a == "--allow-shift") {
            o.allowShift = true;
        } else if (a == "--8bit-names") {
            o.eightBitNames = true;
        } else if (a.size() > 1 && a[0] == '-') {
            err << "quorvel-publish: unknown option " << a << "\n";
            ok = false;
        } else {
            o.positional.push_back(a);
        }
        if (!ok) {
            return std::nullopt;
        }
    }
    return o;
}

int Keygen(const Options& o, std::ostream& out, std::ostream& err) {
    const std::string& file = o.positional[0];
    if (Exists(file)) {
        err << "quorvel-publish: \"" << file << "\" exists; a key file is never overwritten\n";
        return 1;
    }
    auto key = platform::GenerateP256();
    if (!key) {
        err << "quorvel-publish: the system could not make a P-256 key pair\n";
        return 1;
    }
    if (!WriteNewFile(file, release::WriteKeyFile(*key))) {
        err << "quorvel-publish: cannot write \"" << file << "\"\n";
        return 1;
    }
    out << "private key written to " << file << " (keep it secret; it signs releases)\n";
    out << "public key, for QUORVEL_RELEASE_KEY and verify --public:\n";
    out << release::ToHex(key->publicKey) << "\n";
    return 0;
}

std::optional<platform::P256KeyPair> LoadKey(const std::string& file, std::ostream& err) {
    auto text = ReadFile(file);
    if (!text) {
        err << "quorvel-publish: cannot read the key file \"" << file << "\"\n";
        return std::nullopt;
    }
    auto key = release::ParseKeyFile(*text);
    if (!key) {
        err << "quorvel-publish: \"" << file << "\" is not a key file of quorvel-publish keygen\n";
    }
    return key;
}

// One above the release folder's previous signature file, or the number given.
std::optional<std::uint32_t> ReleaseNumber(const Options& o, const std::string& folder,
                                           std::ostream& err) {
    if (o.releaseNumber) {
        const std::string& n = *o.releaseNumber;
        bool digits =
            !n.empty() && n.size() <= 9 && n.find_first_not_of("0123456789") == std::string::npos;
        std::uint32_t value = digits ? static_cast<std::uint32_t>(std::stoul(n)) : 0;
        if (value == 0) {
            err << "quorvel-publish: --release takes a number from 1 to "
                << release::kMaxReleaseNumber << "\n";
            return std::nullopt;
        }
        return value;
    }
    const std::string previous = Join(folder, release::kSignatureName);
    if (!Exists(previous)) {
        return 1;
    }
    auto text = ReadFile(previous);
    auto file = text ? release::ParseSignatureFile(*text) : std::nullopt;
    if (!file) {
        err << "quorvel-publish: \"" << previous
            << "\" is damaged, so the next release number is unknown: give --release N\n";
        return std::nullopt;
    }
    if (file->release >= release::kMaxReleaseNumber) {
        err << "quorvel-publish: the release numbers are used up\n";
        return std::nullopt;
    }
    return file->release + 1;
}

int Publish(const Options& o, std::ostream& out, std::ostream& err) {
    const std::string& folder = o.positional[0];
    std::string problem;
    auto paths = ListReleaseFiles(folder, problem);
    if (!paths) {
        err << "quorvel-publish: " << problem << "\n";
        return 1;
    }
    std::vector<std::string> refused = RefusedNames(*paths, o.eightBitNames);
    for (const auto& r : refused) {
        err << "quorvel-publish: refused: " << r << "\n";
    }
    if (!refused.empty()) {
        err << "quorvel-publish: nothing written\n";
        return 1;
    }
    const std::string listFile = Join(folder, release::kListName);
    const std::string previousFile = o.previous ? *o.previous : listFile;
    std::vector<release::ListEntry> previous;
    if (o.previous || Exists(listFile)) {
        auto text = ReadFile(previousFile);
        if (!text) {
            err << "quorvel-publish: cannot read the previous list \"" << previousFile << "\"\n";
            return 1;
        }
        if (text->find('\n') != std::string::npos && text->find("\r\n") == std::string::npos) {
            err << "quorvel-publish: \"" << previousFile
                << "\" has no CR LF line ends: not an update list\n";
            return 1;
        }
        previous = release::ParseList(*text);
    }
    std::optional<platform::P256KeyPair> key;
    std::uint32_t number = 0;
    if (o.key) {
        key = LoadKey(*o.key, err);
        auto n = key ? ReleaseNumber(o, folder, err) : std::nullopt;
        if (!n) {
            return 1;
        }
        number = *n;
    }
    std::vector<FoundFile> files;
    for (const auto& path : *paths) {
        auto found = Examine(folder, path);
        if (!found) {
            err << "quorvel-publish: cannot read \"" << path << "\"; nothing written\n";
            return 1;
        }
        files.push_back(*found);
    }
    Plan plan = MakePlan(previous, files);
    for (const auto& gone : plan.removed) {
        out << "removed: " << gone << "\n";
    }
    if (plan.shifted > 0) {
        err << "quorvel-publish: removing " << plan.removed.size() << " entr"
            << (plan.removed.size() == 1 ? "y" : "ies") << " shifts " << plan.shifted
            << " later entries: operators will fetch them again";
        if (!o.allowShift) {
            err << "; refused (give --allow-shift to accept it); nothing written\n";
            return 1;
        }
        err << "\n";
    }
    const std::string list = release::WriteList(plan.entries);
    std::optional<release::SignatureFile> signature;
    if (key) {
        signature = release::SignList(list, number, *key);
        if (!signature) {
            err << "quorvel-publish: signing failed (do the halves of the key file belong "
                   "together?); nothing written\n";
            return 1;
        }
    }
    if (!WriteFileReplacing(listFile, list)) {
        err << "quorvel-publish: cannot write \"" << listFile << "\"\n";
        return 1;
    }
    const std::string sigFile = Join(folder, release::kSignatureName);
    if (signature && !WriteFileReplacing(sigFile, release::WriteSignatureFile(*signature))) {
        err << "quorvel-publish: cannot write \"" << sigFile << "\"\n";
        return 1;
    }
    out << listFile << ": " << plan.entries.size() << " entries (" << plan.added << " new, "
        << plan.changed << " changed, " << plan.removed.size() << " removed)\n";
    if (signature) {
        out << sigFile << ": release " << number << "\n";
    } else if (Exists(sigFile)) {
        err << "quorvel-publish: warning: " << sigFile
            << " no longer matches the list; publish with --key to sign it\n";
    }
    return 0;
}

int Verify(const Options& o, std::ostream& out, std::ostream& err) {
    const std::string& folder = o.positional[0];
    auto key = o.publicKey ? release::ParsePublicKey(*o.publicKey) : std::nullopt;
    if (!key) {
        err << "quorvel-publish: --public takes the 128 hex digits keygen printed\n";
        return 2;
    }
    auto list = ReadFile(Join(folder, release::kListName));
    auto signature = ReadFile(Join(folder, release::kSignatureName));
    if (!list || !signature) {
        err << "quorvel-publish: " << (list ? release::kSignatureName : release::kListName)
            << " is missing\n";
        return 1;
    }
    std::uint32_t number = 0;
    switch (release::CheckSignature(*list, *signature, *key, &number)) {
    case release::Verdict::Good:
        break;
    case release::Verdict::Malformed:
        err << "quorvel-publish: " << release::kSignatureName << " is damaged\n";
        return 1;
    case release::Verdict::BadSignature:
        err << "quorvel-publish: " << release::kSignatureName
            << " was not made with this key's private half\n";
        return 1;
    case release::Verdict::OtherList:
        err << "quorvel-publish: " << release::kSignatureName
            << " signs another list, not this filelist.txt\n";
        return 1;
    }
    int bad = 0;
    auto entries = release::ParseList(*list);
    for (const auto& e : entries) {
        auto expected = release::StampDigest(e.stamp);
        auto why = release::RefusedListPath(e.path);
        std::optional<platform::Sha256Digest> actual;
        if (why) {
            err << "quorvel-publish: \"" << e.path << "\": " << *why << "\n";
        } else if (!expected) {
            err << "quorvel-publish: \"" << e.path << "\": its stamp has no content hash\n";
        } else if (!Exists(Join(folder, e.path))) {
            err << "quorvel-publish: \"" << e.path << "\": listed but missing\n";
        } else if (!(actual = FileDigest(Join(folder, e.path)))) {
            err << "quorvel-publish: \"" << e.path << "\": cannot be read\n";
        } else if (*actual != *expected) {
            err << "quorvel-publish: \"" << e.path << "\": its content is not the one listed\n";
        } else {
            continue;
        }
        ++bad;
    }
    if (bad > 0) {
        err << "quorvel-publish: " << bad << " of " << entries.size() << " entries are wrong\n";
        return 1;
    }
    out << "release " << number << ": signature good, " << entries.size()
        << " files present with their hashes\n";
    return 0;
}

} // namespace

int RunTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    auto options = args.empty() ? std::nullopt : ParseOptions(args, err);
    if (!options || options->positional.size() != 1) {
        err << kUsage;
        return 2;
    }
    const std::string& command = args[0];
    if (command == "keygen" && !options->key && !options->previous && !options->publicKey) {
        return Keygen(*options, out, err);
    }
    if (command == "publish" && !options->publicKey) {
        return Publish(*options, out, err);
    }
    if (command == "verify" && !options->key && !options->previous) {
        return Verify(*options, out, err);
    }
    err << kUsage;
    return 2;
}

} // namespace publish
