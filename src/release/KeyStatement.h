// Key statements: the maker's numbered hand-over of release signing from one key to another,
// served beside the list as filelist.keys/1.txt, filelist.keys/2.txt, ... CR LF lines:
//   quorvel-key-statement 1
//   number N
//   release-key <128 hex digits: the key that signs releases from statement N on>
//   statement-key <128 hex digits>   (1 to kMaxStatementKeys lines, no key twice: the keys
//                                     that may sign statement N + 1)
//   signature <key id> <128 hex digits>   by a key trusted for statements before N
//   signature <key id> <128 hex digits>   by the release key, which accepts the hand-over
// Both signatures cover the SHA-256 of all lines before them. The header keeps a statement
// from ever reading as a signature file (and the other way round).
#pragma once

#include "../platform/Crypto.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace release {

// The folder of a release that holds the statements; the tool never lists it.
constexpr const char* kStatementFolder = "filelist.keys";
// The longest statement is 1,651 bytes (8 statement keys); the updater fetches no more.
constexpr std::uint64_t kMaxStatementFileSize = 2048;
constexpr std::size_t kMaxStatementKeys = 8;
constexpr std::uint32_t kMaxStatementNumber = 999999999;

// "filelist.keys/N.txt": the statement's path from the release folder, as served.
std::string StatementPath(std::uint32_t number);

struct StatementSignature {
    std::string keyId; // KeyId of the key that made it
    platform::P256Signature signature{};
};

struct KeyStatement {
    std::uint32_t number = 0;
    platform::P256PublicKey releaseKey{};
    std::vector<platform::P256PublicKey> statementKeys;
    StatementSignature vouched;  // by a key trusted for statements before this one
    StatementSignature accepted; // by releaseKey
};

// The lines both signatures cover.
std::string StatementSignedPart(const KeyStatement& statement);
std::string WriteKeyStatement(const KeyStatement& statement);
// Nothing unless the text is exactly what WriteKeyStatement writes for some statement (one
// to kMaxStatementKeys distinct statement keys, the second signature's key id the release
// key's), and no longer than kMaxStatementFileSize. The signatures are not checked here.
std::optional<KeyStatement> ParseKeyStatement(const std::string& text);

// Statement `number`, handing release signing to newKey and the next statement to
// statementKeys (newKey alone when empty), signed by signer and by newKey. Nothing when a
// bound is broken or signing fails.
std::optional<KeyStatement> MakeKeyStatement(std::uint32_t number,
                                             const platform::P256KeyPair& signer,
                                             const platform::P256KeyPair& newKey,
                                             std::vector<platform::P256PublicKey> statementKeys);

// Whether a signature of the statement was made by key.
bool SignedBy(const KeyStatement& statement, const StatementSignature& signature,
              const platform::P256PublicKey& key);

} // namespace release
