// The chain of key statements as the protected updater and the release tool walk it: what
// is trusted at each step, and whether one statement may be the next step.
#pragma once

#include "KeyStatement.h"

#include <optional>
#include <string>
#include <vector>

namespace release {

// The most statements the updater takes in one run; a longer way to the key that signed a
// release is gone on from the statement kept by the next run.
constexpr std::uint32_t kMaxStatementsPerRun = 32;

// What is trusted after the statement `number` (0: before any, from the build-time keys).
struct Trust {
    std::uint32_t number = 0;
    platform::P256PublicKey releaseKey{};               // signs releases
    std::vector<platform::P256PublicKey> statementKeys; // may sign statement number + 1
};

// The build-time keys, comma-separated public keys: the first signs releases, every one may
// sign the first statement. Nothing when one of them is no public key, or there is none.
std::optional<Trust> BuildTimeTrust(const std::string& keys);

// What a statement makes trusted once it is accepted.
Trust TrustAfter(const KeyStatement& statement);

enum class StepVerdict {
    Accepted,    // the next step
    Damaged,     // not a statement, or one above the size bound
    OtherNumber, // not numbered trust.number + 1
    NotVouched,  // not signed by a key trusted for statements
    NotAccepted, // not signed by the key it names
};
struct Step {
    StepVerdict verdict = StepVerdict::Damaged;
    std::optional<KeyStatement> statement; // when accepted
};
// Whether the text is the statement that follows trust.
Step NextStep(const Trust& trust, const std::string& text);

} // namespace release
