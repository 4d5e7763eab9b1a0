#include "Signing.h"

#include "Dates.h"
#include "KeyAccess.h"
#include "Keys.h"
#include "Numbering.h"
#include "release/KeyId.h"

namespace publish {

namespace {

// A private key that others may read is refused, as ssh does, unless the maker says so.
Status KeyPrivateToOwner(const Options& o) {
    if (*o.key == "-" || o.allowReadableKey) {
        return Done{};
    }
    auto others = OthersWhoMayRead(*o.key);
    if (!others) {
        return others.failure();
    }
    if (!*others) {
        return Done{};
    }
    return Refusal("the private key \"" + *o.key + "\" may be read by others than its owner (" +
                   **others +
                   "): anyone who can read it can sign releases. Make it private to its owner "
                   "(chmod 600 on Linux), or give --allow-readable-key");
}

// The numbers the next one must follow: the previous release's, the one of the signature
// about to be replaced, and the highest of the release history.
KnownNumbers NumbersKnown(const PreviousRelease& previous, const std::string& outputSignature,
                          const ReleaseHistory& history) {
    KnownNumbers numbers;
    if (previous.signature) {
        numbers.known.push_back(
            {previous.signature->release, "\"" + previous.signatureFile + "\""});
    } else if (previous.list) {
        numbers.unknownPrevious = "the previous list \"" + *previous.list +
                                  "\" is known but its release number is not (" +
                                  previous.unsigned_ + ")";
    }
    if (auto replaced = SignatureNumber(outputSignature)) {
        numbers.known.push_back({*replaced, "\"" + outputSignature + "\""});
    }
    if (auto highest = history.Highest()) {
        numbers.known.push_back({*highest, "the release history \"" + history.File() + "\""});
        numbers.historyKnows = true;
    }
    return numbers;
}

} // namespace

Result<Signing> PrepareSigning(const Options& o, std::istream& in, const PreviousRelease& previous,
                               const std::string& outputSignature,
                               const std::optional<std::uint32_t>& wanted) {
    auto key = LoadKey(*o.key, in);
    if (!key) {
        return key.failure();
    }
    if (Status owned = KeyPrivateToOwner(o); !owned) {
        return owned.failure();
    }
    const std::string keyName = *o.key == "-" ? "the key on standard input" : "\"" + *o.key + "\"";
    if (Status signer = SignedByKeyInUse(previous, key->publicKey, keyName); !signer) {
        return signer.failure();
    }
    auto history = ReleaseHistory::Load(o.history.value_or(HistoryBeside(*o.key)));
    if (!history) {
        return history.failure();
    }
    auto number = NextRelease(NumbersKnown(previous, outputSignature, *history), wanted);
    if (!number) {
        return number.failure();
    }
    return Signing{*key, release::KeyId(key->publicKey), *history, *number};
}

Status RecordSigning(Signing& signing, const std::string& list) {
    auto digest = platform::Sha256Of(list);
    if (!digest) {
        return IoFailure("the list's SHA-256 could not be had");
    }
    return signing.history.Append({signing.number, *digest, signing.keyId, Today()});
}

} // namespace publish
