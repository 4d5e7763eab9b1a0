#include "PreviousRelease.h"

#include "Files.h"
#include "release/KeyId.h"

namespace publish {

namespace {

std::string Quoted(const std::string& file) {
    return "\"" + file + "\"";
}

// Whether a text is an update list this tool can continue: a list is text, in CR LF lines
// of a path, a TAB and a stamp.
Status IsAList(const std::string& text) {
    std::size_t line = 1;
    for (std::size_t pos = 0; pos < text.size(); ++line) {
        std::size_t end = text.find("\r\n", pos);
        const std::string row = text.substr(pos, end == std::string::npos ? end : end - pos);
        pos = end == std::string::npos ? text.size() : end + 2;
        for (unsigned char c : row) {
            if (c < 32 && c != '\t') {
                return Refusal("line " + std::to_string(line) +
                               (c == '\n' ? " ends without CR LF" : " holds a control character") +
                               ", as no update list does");
            }
        }
        if (!row.empty() && row.find('\t') == std::string::npos) {
            return Refusal("line " + std::to_string(line) + " has no TAB between path and stamp");
        }
    }
    return Done{};
}

// The signature beside the list, when there is one, and whether it states this list.
Status ReadSignature(PreviousRelease& previous, const std::string& list) {
    const std::string& file = previous.signatureFile;
    if (!Exists(file)) {
        previous.unsigned_ = "there is no " + Quoted(file);
        return Done{};
    }
    auto text = ReadFile(file, release::kMaxSignatureFileSize);
    if (!text) {
        return text.With(" (the signature of the previous list)");
    }
    auto signature = release::ParseSignatureFile(*text);
    if (!signature) {
        return Damage(Quoted(file) + ", the signature of the previous list, is damaged (it is "
                                     "not as quorvel-publish writes one): put back the one "
                                     "that was published, or remove it and give --release N");
    }
    const std::string mend = ": put back the list that was published with it";
    if (signature->listSize && *signature->listSize != list.size()) {
        return Damage("the previous list " + Quoted(*previous.list) + " is " +
                      std::to_string(list.size()) + " bytes, but its signature " + Quoted(file) +
                      " states " + std::to_string(*signature->listSize) +
                      " (cut short, grown or rewritten)" + mend);
    }
    auto digest = platform::Sha256Of(list);
    if (!digest || *digest != signature->listDigest) {
        return Damage("the previous list " + Quoted(*previous.list) +
                      " is not the one its signature " + Quoted(file) +
                      " states (its SHA-256 differs: lines changed, moved or emptied)" + mend);
    }
    previous.signature = *signature;
    return Done{};
}

} // namespace

std::optional<std::string> PreviousListFile(const Options& o, const OutputNames& names) {
    if (o.previous || Exists(names.list)) {
        return o.previous.value_or(names.list);
    }
    const std::string own = Join(o.operand, release::kListName);
    if (o.out && Exists(own)) {
        return own;
    }
    return std::nullopt;
}

Result<PreviousRelease> ReadPreviousRelease(const std::optional<std::string>& list) {
    PreviousRelease previous;
    if (!list) {
        return previous;
    }
    previous.list = list;
    previous.signatureFile = *list + ".sig";
    auto text = ReadFile(*list, kMaxListRead);
    if (!text) {
        return text.With(" (the previous list)");
    }
    if (Status isList = IsAList(*text); !isList) {
        return Refusal(Quoted(*list) + " is not an update list: " + isList.problem());
    }
    if (Status signature = ReadSignature(previous, *text); !signature) {
        return signature.failure();
    }
    previous.entries = release::ParseList(*text);
    return previous;
}

Status SignedByKeyInUse(const PreviousRelease& previous, const platform::P256PublicKey& key,
                        const std::string& keyName) {
    if (!previous.signature || release::SignatureFileGenuine(*previous.signature, key)) {
        return Done{};
    }
    // A signature of version 3 names the key that made it; older ones do not.
    const std::optional<std::string>& other = previous.signature->keyId;
    const std::string signedWith = other && *other != release::KeyId(key)
                                       ? "it was signed with key ID " + *other + ", or edited since"
                                       : "it was signed with another key, or edited since";
    return Refusal("the previous release (release " + std::to_string(previous.signature->release) +
                   ", " + Quoted(previous.signatureFile) + ") was not signed by the key in use, " +
                   keyName + " (key ID " + release::KeyId(key) + "): " + signedWith +
                   ". Protected updaters built with the previous key would refuse this release: "
                   "sign with the key that signed it, or hand signing to this one with rotate");
}

} // namespace publish
