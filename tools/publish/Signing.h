// What a signed publish needs before it signs: the key, private to its owner and the one
// that signed the previous release, its release history, and the next number.
#pragma once

#include "CommandLine.h"
#include "Commit.h"
#include "History.h"
#include "PreviousRelease.h"
#include "Result.h"
#include "platform/Crypto.h"

#include <cstdint>
#include <istream>
#include <optional>
#include <string>

namespace publish {

struct Signing {
    platform::P256KeyPair key;
    std::string keyId;
    ReleaseHistory history;
    std::uint32_t number = 0;
    std::uint32_t statements = 0; // the key statements beside the list that lead to the key
};

// The key of --key (a file others may read is refused, unless --allow-readable-key), checked
// against the key statements beside the list (when there are any, the key their chain names
// is the one expected) and against the previous release; the history of --history or beside the
// key; the number that follows every one known (the previous release's, that of the signature in
// names, the history's), or wanted when it does.
Result<Signing> PrepareSigning(const Options& o, std::istream& in, const PreviousRelease& previous,
                               const OutputNames& names,
                               const std::optional<std::uint32_t>& wanted);

// Appends the signing of the list to the history, all or nothing.
Status RecordSigning(Signing& signing, const std::string& list);

} // namespace publish
