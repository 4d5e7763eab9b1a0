#include "KeyChain.h"

#include "KeyId.h"
#include "ReleaseFormat.h"

#include <algorithm>

namespace release {

std::optional<Trust> BuildTimeTrust(const std::string& keys) {
    Trust trust;
    std::size_t begin = 0;
    while (begin <= keys.size()) {
        std::size_t end = std::min(keys.find(',', begin), keys.size());
        auto key = ParsePublicKey(keys.substr(begin, end - begin));
        if (!key) {
            return std::nullopt;
        }
        if (std::find(trust.statementKeys.begin(), trust.statementKeys.end(), *key) ==
            trust.statementKeys.end()) {
            trust.statementKeys.push_back(*key);
        }
        begin = end + 1;
    }
    trust.releaseKey = trust.statementKeys.front();
    return trust;
}

Trust TrustAfter(const KeyStatement& statement) {
    return Trust{statement.number, statement.releaseKey, statement.statementKeys};
}

Step NextStep(const Trust& trust, const std::string& text) {
    Step step;
    auto statement = ParseKeyStatement(text);
    if (!statement) {
        return step;
    }
    if (statement->number != trust.number + 1) {
        step.verdict = StepVerdict::OtherNumber;
        return step;
    }
    auto vouching = std::find_if(
        trust.statementKeys.begin(), trust.statementKeys.end(),
        [&](const platform::P256PublicKey& key) { return KeyId(key) == statement->vouched.keyId; });
    if (vouching == trust.statementKeys.end() ||
        !SignedBy(*statement, statement->vouched, *vouching)) {
        step.verdict = StepVerdict::NotVouched;
        return step;
    }
    if (!SignedBy(*statement, statement->accepted, statement->releaseKey)) {
        step.verdict = StepVerdict::NotAccepted;
        return step;
    }
    step.verdict = StepVerdict::Accepted;
    step.statement = statement;
    return step;
}

} // namespace release
