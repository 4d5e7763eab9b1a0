// What a signed publish needs before it signs: the key, private to its owner and the one
// that signed the previous release, its release history, and the next number.
#pragma once

#include "CommandLine.h"
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
};

// The key of --key (a file others may read is refused, unless --allow-readable-key), checked
// against the previous release; the history of --history or beside the key; the number that
// follows every one known (the previous release's, that of outputSignature, the history's),
// or wanted when it does.
Result<Signing> PrepareSigning(const Options& o, std::istream& in, const PreviousRelease& previous,
                               const std::string& outputSignature,
                               const std::optional<std::uint32_t>& wanted);

// Appends the signing of the list to the history, all or nothing.
Status RecordSigning(Signing& signing, const std::string& list);

} // namespace publish
