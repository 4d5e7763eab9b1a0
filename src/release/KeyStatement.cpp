// Key statements: writing, reading one way only, making and checking one signature.
#include "KeyStatement.h"

#include "Fields.h"
#include "Hex.h"
#include "KeyId.h"

#include <algorithm>

namespace release {

namespace {

constexpr const char* kHeader = "quorvel-key-statement 1";

std::optional<StatementSignature> ParseStatementSignature(const std::string& line) {
    auto value = Field(line, "signature");
    if (!value || value->size() != kKeyIdDigits + 1 + 128 || (*value)[kKeyIdDigits] != ' ') {
        return std::nullopt;
    }
    StatementSignature signature;
    signature.keyId = value->substr(0, kKeyIdDigits);
    if (!ValidKeyId(signature.keyId) ||
        !FromHex(value->substr(kKeyIdDigits + 1), signature.signature.data(),
                 signature.signature.size())) {
        return std::nullopt;
    }
    return signature;
}

std::optional<StatementSignature> Sign(const KeyStatement& statement,
                                       const platform::P256KeyPair& key) {
    auto digest = platform::Sha256Of(StatementSignedPart(statement));
    auto signature = digest ? platform::SignP256(key, *digest) : std::nullopt;
    if (!signature) {
        return std::nullopt;
    }
    StatementSignature made{KeyId(key.publicKey), *signature};
    // A key file whose halves do not belong together would sign what nobody can verify.
    if (made.keyId.empty() || !SignedBy(statement, made, key.publicKey)) {
        return std::nullopt;
    }
    return made;
}

bool Distinct(std::vector<platform::P256PublicKey> keys) {
    std::sort(keys.begin(), keys.end());
    return std::adjacent_find(keys.begin(), keys.end()) == keys.end();
}

} // namespace

std::string StatementPath(std::uint32_t number) {
    return std::string(kStatementFolder) + "/" + std::to_string(number) + ".txt";
}

std::string StatementSignedPart(const KeyStatement& statement) {
    std::string text = std::string(kHeader) + "\r\nnumber " + std::to_string(statement.number) +
                       "\r\nrelease-key " + ToHex(statement.releaseKey) + "\r\n";
    for (const auto& key : statement.statementKeys) {
        text += "statement-key " + ToHex(key) + "\r\n";
    }
    return text;
}

std::string WriteKeyStatement(const KeyStatement& statement) {
    std::string text = StatementSignedPart(statement);
    for (const auto* s : {&statement.vouched, &statement.accepted}) {
        text += "signature " + s->keyId + " " + ToHex(s->signature) + "\r\n";
    }
    return text;
}

std::optional<KeyStatement> ParseKeyStatement(const std::string& text) {
    if (text.size() > kMaxStatementFileSize) {
        return std::nullopt;
    }
    const std::vector<std::string> lines = Lines(text);
    if (lines.size() < 6 || lines.size() > 5 + kMaxStatementKeys || lines[0] != kHeader) {
        return std::nullopt;
    }
    KeyStatement statement;
    auto number = Field(lines[1], "number");
    auto value = number ? ParseDecimal(*number) : std::nullopt;
    auto releaseKey = Field(lines[2], "release-key");
    if (!value || *value == 0 || *value > kMaxStatementNumber || !releaseKey ||
        !FromHex(*releaseKey, statement.releaseKey.data(), statement.releaseKey.size())) {
        return std::nullopt;
    }
    statement.number = static_cast<std::uint32_t>(*value);
    for (std::size_t i = 3; i + 2 < lines.size(); ++i) {
        auto hex = Field(lines[i], "statement-key");
        platform::P256PublicKey key{};
        if (!hex || !FromHex(*hex, key.data(), key.size())) {
            return std::nullopt;
        }
        statement.statementKeys.push_back(key);
    }
    auto vouched = ParseStatementSignature(lines[lines.size() - 2]);
    auto accepted = ParseStatementSignature(lines.back());
    if (!vouched || !accepted || !Distinct(statement.statementKeys) ||
        accepted->keyId != KeyId(statement.releaseKey)) {
        return std::nullopt;
    }
    statement.vouched = *vouched;
    statement.accepted = *accepted;
    // Exactly as it is written (lower-case hex, CR LF), so that it reads one way only.
    if (WriteKeyStatement(statement) != text) {
        return std::nullopt;
    }
    return statement;
}

std::optional<KeyStatement> MakeKeyStatement(std::uint32_t number,
                                             const platform::P256KeyPair& signer,
                                             const platform::P256KeyPair& newKey,
                                             std::vector<platform::P256PublicKey> statementKeys) {
    if (statementKeys.empty()) {
        statementKeys.push_back(newKey.publicKey);
    }
    if (number == 0 || number > kMaxStatementNumber || statementKeys.size() > kMaxStatementKeys ||
        !Distinct(statementKeys)) {
        return std::nullopt;
    }
    KeyStatement statement;
    statement.number = number;
    statement.releaseKey = newKey.publicKey;
    statement.statementKeys = std::move(statementKeys);
    auto vouched = Sign(statement, signer);
    auto accepted = Sign(statement, newKey);
    if (!vouched || !accepted) {
        return std::nullopt;
    }
    statement.vouched = *vouched;
    statement.accepted = *accepted;
    return statement;
}

bool SignedBy(const KeyStatement& statement, const StatementSignature& signature,
              const platform::P256PublicKey& key) {
    auto digest = platform::Sha256Of(StatementSignedPart(statement));
    return digest.has_value() && signature.keyId == KeyId(key) &&
           platform::VerifyP256(key, *digest, signature.signature);
}

} // namespace release
