#include "Signing.h"

#include "Dates.h"
#include "Files.h"
#include "KeyAccess.h"
#include "KeyChainFolder.h"
#include "Keys.h"
#include "Numbering.h"
#include "release/KeyId.h"
#include "release/KeyStatement.h"

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

// The key statements updaters fetch beside the list; refused when they name another key
// than the one in use as the signer.
Result<FolderChain> ChainOfKey(const Options& o, const OutputNames& names,
                               const platform::P256PublicKey& key, const std::string& keyName) {
    // With --out the updater fetches them from there.
    if (Exists(Join(o.operand, release::kStatementFolder)) &&
        !Exists(Join(names.folder, release::kStatementFolder))) {
        return Refusal("the key statements lie in \"" + Join(o.operand, release::kStatementFolder) +
                       "\", but updaters fetch them beside the list: copy them into \"" +
                       names.folder + "\"");
    }
    auto chain = ReadFolderChain(names.folder);
    if (!chain) {
        return chain.failure();
    }
    if (Status named = ChainNamesSigner(*chain, keyName, key); !named) {
        return named.failure();
    }
    return chain;
}

// Whether the previous release is one the key in use follows. Once the chain has handed
// signing on since the previous release was signed (it counts fewer statements), the
// statement vouches for the new key; otherwise the key must be the one that signed it.
Status FollowsPrevious(const PreviousRelease& previous, const FolderChain& chain,
                       const platform::P256PublicKey& key, const std::string& keyName) {
    if (previous.signature && previous.signature->statements < chain.statements.size()) {
        return Done{};
    }
    return SignedByKeyInUse(previous, key, keyName);
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
                               const OutputNames& names,
                               const std::optional<std::uint32_t>& wanted) {
    auto key = LoadKey(*o.key, in);
    if (!key) {
        return key.failure();
    }
    if (Status owned = KeyPrivateToOwner(o); !owned) {
        return owned.failure();
    }
    const std::string keyName = *o.key == "-" ? "the key on standard input" : "\"" + *o.key + "\"";
    auto chain = ChainOfKey(o, names, key->publicKey, keyName);
    if (!chain) {
        return chain.failure();
    }
    if (Status signer = FollowsPrevious(previous, *chain, key->publicKey, keyName); !signer) {
        return signer.failure();
    }
    auto history = ReleaseHistory::Load(o.history.value_or(HistoryBeside(*o.key)));
    if (!history) {
        return history.failure();
    }
    auto number = NextRelease(NumbersKnown(previous, names.signature, *history), wanted);
    if (!number) {
        return number.failure();
    }
    return Signing{*key, release::KeyId(key->publicKey), *history, *number,
                   static_cast<std::uint32_t>(chain->statements.size())};
}

Status RecordSigning(Signing& signing, const std::string& list) {
    auto digest = platform::Sha256Of(list);
    if (!digest) {
        return IoFailure("the list's SHA-256 could not be had");
    }
    return signing.history.Append({signing.number, *digest, signing.keyId, Today()});
}

} // namespace publish
