#include "KeyChainFolder.h"

#include "Files.h"
#include "release/Fields.h"
#include "release/KeyId.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace publish {

namespace {

// The number of a statement's file name "N.txt", or nothing.
std::optional<std::uint32_t> StatementNumber(const std::string& name) {
    const std::string suffix = ".txt";
    if (name.size() <= suffix.size() || name.compare(name.size() - 4, 4, suffix) != 0) {
        return std::nullopt;
    }
    auto value = release::ParseDecimal(name.substr(0, name.size() - 4));
    if (!value || *value == 0 || *value > release::kMaxStatementNumber) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(*value);
}

std::string Why(release::StepVerdict verdict) {
    switch (verdict) {
    case release::StepVerdict::Damaged:
        return "is damaged (or longer than " + std::to_string(release::kMaxStatementFileSize) +
               " bytes)";
    case release::StepVerdict::OtherNumber:
        return "carries another number than its name";
    case release::StepVerdict::NotVouched:
        return "is not signed by a key the statement before it allows";
    case release::StepVerdict::NotAccepted:
        return "is not signed by the key it names";
    case release::StepVerdict::Accepted:
        break;
    }
    return std::string();
}

// The first statement as far as the tool can judge it: its vouching signer is one of the
// updaters' build-time keys, which only they know.
release::Step FirstStep(const std::string& text) {
    release::Step step;
    auto statement = release::ParseKeyStatement(text);
    if (!statement) {
        return step;
    }
    if (statement->number != 1) {
        step.verdict = release::StepVerdict::OtherNumber;
    } else if (!release::SignedBy(*statement, statement->accepted, statement->releaseKey)) {
        step.verdict = release::StepVerdict::NotAccepted;
    } else {
        step.verdict = release::StepVerdict::Accepted;
        step.statement = statement;
    }
    return step;
}

} // namespace

Result<FolderChain> ReadFolderChain(const std::string& folder) {
    FolderChain chain;
    const std::string statements = Join(folder, release::kStatementFolder);
    if (!Exists(statements)) {
        return chain;
    }
    std::vector<std::uint32_t> numbers;
    std::error_code ec;
    for (fs::directory_iterator it(statements, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = "?";
        try {
            name = it->path().filename().string();
        } catch (const std::exception&) {
            // A name the system cannot write in its code page is no statement's.
        }
        auto number = StatementNumber(name);
        if (!number) {
            return Damage("\"" + Join(statements, name) + "\" is no key statement (they are " +
                          "named 1.txt, 2.txt, ...): move it out");
        }
        numbers.push_back(*number);
    }
    if (ec) {
        return IoFailure("\"" + statements + "\" cannot be listed: " + ec.message());
    }
    std::sort(numbers.begin(), numbers.end());
    release::Trust trust;
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        const std::uint32_t number = static_cast<std::uint32_t>(i + 1);
        const std::string file = Join(folder, release::StatementPath(number));
        if (numbers[i] != number) {
            return Damage("key statement " + std::to_string(number) + " is missing: \"" + file +
                          "\" (the statements are numbered without a gap)");
        }
        auto text = ReadFile(file, release::kMaxStatementFileSize);
        if (!text) {
            return text.failure();
        }
        release::Step step = number == 1 ? FirstStep(*text) : release::NextStep(trust, *text);
        if (step.verdict != release::StepVerdict::Accepted) {
            // A statement signed by the wrong keys is refused; one not as rotate writes it
            // is damaged.
            const bool signers = step.verdict == release::StepVerdict::NotVouched ||
                                 step.verdict == release::StepVerdict::NotAccepted;
            const std::string problem = "\"" + file + "\" " + Why(step.verdict);
            return signers ? Refusal(problem) : Damage(problem);
        }
        chain.statements.push_back(*step.statement);
        trust = release::TrustAfter(*step.statement);
    }
    return chain;
}

Status ChainNamesSigner(const FolderChain& chain, const std::string& keyName,
                        const platform::P256PublicKey& key) {
    if (chain.statements.empty() || chain.statements.back().releaseKey == key) {
        return Done{};
    }
    const release::KeyStatement& last = chain.statements.back();
    return Refusal("key statement " + std::to_string(last.number) + " (" +
                   release::StatementPath(last.number) + ") names key " +
                   release::KeyId(last.releaseKey) + " as the signer of releases, but " + keyName +
                   " is key " + release::KeyId(key) +
                   ": sign with that key, or hand signing to this one with rotate");
}

Result<platform::P256PublicKey> ChainedKey(const FolderChain& chain,
                                           const release::Trust& builtIn) {
    release::Trust trust = builtIn;
    for (const auto& statement : chain.statements) {
        auto step = release::NextStep(trust, release::WriteKeyStatement(statement));
        if (step.verdict != release::StepVerdict::Accepted) {
            return Refusal("\"" + release::StatementPath(statement.number) + "\" " +
                           (step.verdict == release::StepVerdict::NotVouched
                                ? "is not signed by a key these updaters trust for key statements"
                                : Why(step.verdict)));
        }
        trust = release::TrustAfter(*step.statement);
    }
    return trust.releaseKey;
}

} // namespace publish
