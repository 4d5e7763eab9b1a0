// The protected updater's walk along the maker's key statements: from the statement it keeps
// (or the build-time keys) one number at a time up to the number the release offered states,
// each accepted statement kept before the next is fetched.
#pragma once

#include "../release/KeyChain.h"

#include <optional>
#include <string>

class TFORM_MAIN;

namespace protection {

enum class KeptTrust { Read, Unreadable };
struct TrustInPlace {
    KeptTrust outcome = KeptTrust::Read;
    release::Trust trust; // when read: the kept statement's, or the build-time keys'
};
// What the target folder's kept statement makes trusted; the build-time keys without one.
// Unreadable when one is there but cannot be read or is damaged: falling back to the
// build-time keys would trust again a key the maker moved away from.
TrustInPlace ReadTrustInPlace(const std::string& targetFolder);

enum class WalkOutcome {
    Reached, // trust rests on statement `target` or a later one
    Refused, // reason says why (a statement, or none, or the bound per run)
    NotKept, // an accepted statement could not be kept
};
struct WalkResult {
    WalkOutcome outcome = WalkOutcome::Refused;
    release::Trust trust; // the last accepted step (kept), whatever the outcome
    std::string reason;
};
// Takes the statements after trust up to statement `target`, at most
// release::kMaxStatementsPerRun of them. A trust at or past target takes none: a statement
// below the one kept is never taken again.
WalkResult WalkTo(TFORM_MAIN& form, const release::Trust& trust, std::uint32_t target);

} // namespace protection
