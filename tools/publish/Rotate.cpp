#include "Rotate.h"

#include "Files.h"
#include "KeyChainFolder.h"
#include "Keys.h"
#include "release/KeyId.h"

#include <algorithm>

namespace publish {

namespace {

std::string KeyIds(const std::vector<platform::P256PublicKey>& keys) {
    std::string ids;
    for (const auto& key : keys) {
        ids += (ids.empty() ? "" : ", ") + release::KeyId(key);
    }
    return ids;
}

// Writes the statement under a temporary name, flushed, then renames it into place; never
// over a statement that is there.
Status WriteStatement(const std::string& folder, const release::KeyStatement& statement) {
    const std::string file = Join(folder, release::StatementPath(statement.number));
    const std::string temp = file + ".tmp";
    if (Exists(file)) {
        return Refusal("\"" + file + "\" is there already");
    }
    Status written = MakeFolder(Join(folder, release::kStatementFolder));
    if (written) {
        written = WriteDurably(temp, release::WriteKeyStatement(statement));
    }
    if (written) {
        written = RenameReplacing(temp, file);
    }
    if (!written) {
        RemoveQuietly(temp);
        return written;
    }
    FlushFolder(Join(folder, release::kStatementFolder));
    return Done{};
}

// The next statement of the folder's chain, signed by key and by newKey.
Result<release::KeyStatement> NextStatement(const Options& o, std::istream& in,
                                            const FolderChain& chain,
                                            const std::vector<platform::P256PublicKey>& nextKeys) {
    auto key = LoadKey(*o.key, in);
    if (!key) {
        return key.failure();
    }
    auto newKey = LoadKey(*o.newKey, in);
    if (!newKey) {
        return newKey.failure();
    }
    const std::uint32_t number = static_cast<std::uint32_t>(chain.statements.size() + 1);
    auto statement = release::MakeKeyStatement(number, *key, *newKey, nextKeys);
    if (!statement) {
        return Refusal("signing failed (do the halves of both key files belong together?)");
    }
    return *statement;
}

} // namespace

int Rotate(const Options& o, std::istream& in, std::ostream& out, std::ostream& err) {
    std::vector<platform::P256PublicKey> nextKeys;
    if (o.nextKeys) {
        auto keys = release::BuildTimeTrust(*o.nextKeys);
        if (!keys || keys->statementKeys.size() > release::kMaxStatementKeys) {
            err << "quorvel-publish: --next-keys takes 1 to " << release::kMaxStatementKeys
                << " distinct public keys of 128 hex digits, separated by commas\n"
                << "Try 'quorvel-publish help rotate'.\n";
            return ExitCode(Fault::Usage);
        }
        nextKeys = keys->statementKeys;
    }
    auto chain = ReadFolderChain(o.operand);
    auto statement = chain ? NextStatement(o, in, *chain, nextKeys)
                           : Result<release::KeyStatement>(chain.failure());
    Status written =
        statement ? WriteStatement(o.operand, *statement) : Status(statement.failure());
    if (!written) {
        err << "quorvel-publish: " << written.problem() << "; nothing written\n";
        return ExitCode(written.failure().fault);
    }
    const std::uint32_t number = statement->number;
    // Which key may sign a statement is the updaters' decision; the tool can only warn
    // where the folder's own chain tells.
    if (number > 1) {
        const auto& allowed = chain->statements.back().statementKeys;
        const std::string& signer = statement->vouched.keyId;
        if (std::none_of(allowed.begin(), allowed.end(), [&](const platform::P256PublicKey& k) {
                return release::KeyId(k) == signer;
            })) {
            err << "quorvel-publish: warning: key statement " << number - 1 << " allows only "
                << KeyIds(allowed) << " to sign the next statement, not " << *o.key << " (key "
                << signer << "): updaters will refuse this one\n";
        }
    }
    out << release::StatementPath(number) << ": key statement " << number
        << ": releases are signed by key " << release::KeyId(statement->releaseKey) << " ("
        << *o.newKey << ") from now on; signed by " << statement->vouched.keyId << " and "
        << release::KeyId(statement->releaseKey) << "; the next statement may be signed by "
        << KeyIds(statement->statementKeys) << "\n";
    return kExitDone;
}

} // namespace publish
