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
bool WriteStatement(const std::string& folder, const release::KeyStatement& statement,
                    std::string& problem) {
    const std::string file = Join(folder, release::StatementPath(statement.number));
    const std::string temp = file + ".tmp";
    if (Exists(file)) {
        problem = "\"" + file + "\" is there already";
        return false;
    }
    if (!MakeFolder(Join(folder, release::kStatementFolder), problem) ||
        !WriteDurably(temp, release::WriteKeyStatement(statement), problem) ||
        !RenameReplacing(temp, file, problem)) {
        RemoveQuietly(temp);
        return false;
    }
    FlushFolder(Join(folder, release::kStatementFolder));
    return true;
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
            return 2;
        }
        nextKeys = keys->statementKeys;
    }
    std::string problem;
    FolderChain chain = ReadFolderChain(o.operand);
    problem = chain.problem;
    std::optional<platform::P256KeyPair> key, newKey;
    if (problem.empty()) {
        key = LoadKey(*o.key, in, problem);
    }
    if (key) {
        newKey = LoadKey(*o.newKey, in, problem);
    }
    const std::uint32_t number = static_cast<std::uint32_t>(chain.statements.size() + 1);
    std::optional<release::KeyStatement> statement;
    if (newKey) {
        statement = release::MakeKeyStatement(number, *key, *newKey, nextKeys);
        if (!statement) {
            problem = "signing failed (do the halves of both key files belong together?)";
        }
    }
    if (!statement || !WriteStatement(o.operand, *statement, problem)) {
        err << "quorvel-publish: " << problem << "; nothing written\n";
        return 1;
    }
    // Which key may sign a statement is the updaters' decision; the tool can only warn
    // where the folder's own chain tells.
    if (number > 1) {
        const auto& allowed = chain.statements.back().statementKeys;
        if (std::find(allowed.begin(), allowed.end(), key->publicKey) == allowed.end()) {
            err << "quorvel-publish: warning: key statement " << number - 1 << " allows only "
                << KeyIds(allowed) << " to sign the next statement, not " << *o.key << " (key "
                << release::KeyId(key->publicKey) << "): updaters will refuse this one\n";
        }
    }
    out << release::StatementPath(number) << ": key statement " << number
        << ": releases are signed by key " << release::KeyId(newKey->publicKey) << " (" << *o.newKey
        << ") from now on; signed by " << release::KeyId(key->publicKey) << " and "
        << release::KeyId(newKey->publicKey) << "; the next statement may be signed by "
        << KeyIds(statement->statementKeys) << "\n";
    return 0;
}

} // namespace publish
