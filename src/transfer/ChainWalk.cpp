#include "ChainWalk.h"

#include "../app/Main.h"
#include "../app/Settings.h"
#include "../platform/Files.h"
#include "../release/Names.h"
#include "ProtectionMessages.h"
#include "SmallFiles.h"
#include "Transfer.h"

namespace protection {

namespace {

std::string StepReason(release::StepVerdict verdict, std::uint32_t number) {
    const std::string statement = "key statement " + std::to_string(number);
    switch (verdict) {
    case release::StepVerdict::Damaged:
        return statement + msg::kStatementDamaged;
    case release::StepVerdict::OtherNumber:
        return statement + msg::kStatementOtherNumber;
    case release::StepVerdict::NotVouched:
        return statement + msg::kStatementNotVouched;
    case release::StepVerdict::NotAccepted:
        return statement + msg::kStatementNotAccepted;
    case release::StepVerdict::Accepted:
        break;
    }
    return std::string();
}

// The target folder of a fresh run in manual mode is made only once the list is fetched; a
// statement accepted before that is kept in it all the same, so the folder is made now.
bool TargetFolderReady(TFORM_MAIN& form) {
    const std::string target = form.PelmoraPath.Text();
    if (target.size() <= 3 || platform::FolderExists(target)) {
        return true;
    }
    return !IsErrorText(ListPathToLocal(form, target.substr(0, 3), target.substr(3)));
}

} // namespace

TrustInPlace ReadTrustInPlace(const std::string& targetFolder) {
    TrustInPlace result;
    // Checked at configuration; keys that did not parse trust nothing.
    result.trust = release::BuildTimeTrust(settings::kReleaseKey).value_or(release::Trust{});
    const std::string kept = targetFolder + release::kKeptStatementName;
    std::string text;
    // Read first and asked for only when it cannot be read: one failed call never makes a
    // kept statement look absent.
    if (ReadFileBytes(kept, text) != FileRead::Whole) {
        if (platform::FileAttributes(kept).has_value()) {
            result.outcome = KeptTrust::Unreadable;
        }
        return result;
    }
    auto statement = release::ParseKeyStatement(text);
    if (!statement) {
        result.outcome = KeptTrust::Unreadable;
        return result;
    }
    result.trust = release::TrustAfter(*statement);
    return result;
}

WalkResult WalkTo(TFORM_MAIN& form, const release::Trust& trust, std::uint32_t target) {
    WalkResult walk;
    walk.trust = trust;
    for (std::uint32_t steps = 0; walk.trust.number < target; ++steps) {
        const std::uint32_t number = walk.trust.number + 1;
        if (steps == release::kMaxStatementsPerRun) {
            walk.reason = msg::kBeyondOneRun + std::to_string(target) + msg::kBeyondTheFirst +
                          std::to_string(release::kMaxStatementsPerRun) + msg::kNextRunGoesOn +
                          std::to_string(number);
            return walk;
        }
        std::string text;
        if (FetchSmallFile(form, release::StatementPath(number), release::kMaxStatementFileSize,
                           text) != SmallFetch::Fetched) {
            walk.reason = "key statement " + std::to_string(number) + msg::kCouldNotBeFetched;
            return walk;
        }
        release::Step step = release::NextStep(walk.trust, text);
        if (step.verdict != release::StepVerdict::Accepted) {
            walk.reason = StepReason(step.verdict, number);
            return walk;
        }
        if (!TargetFolderReady(form) ||
            !KeepWrittenThrough(form.PelmoraPath.Text(), release::kKeptStatementName, text)) {
            walk.outcome = WalkOutcome::NotKept;
            return walk;
        }
        walk.trust = release::TrustAfter(*step.statement);
    }
    walk.outcome = WalkOutcome::Reached;
    return walk;
}

} // namespace protection
