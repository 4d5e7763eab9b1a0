// The release operators have now: the previous list, and the signature beside it, checked
// against each other before anything is built on them.
#pragma once

#include "CommandLine.h"
#include "Commit.h"
#include "Result.h"
#include "platform/Crypto.h"
#include "release/ReleaseFormat.h"

#include <optional>
#include <string>
#include <vector>

namespace publish {

struct PreviousRelease {
    std::optional<std::string> list; // the file; none when there is no previous list
    std::vector<release::ListEntry> entries;
    std::optional<release::SignatureFile> signature; // beside the list, and stating it
    std::string signatureFile;                       // the list's name and ".sig"
    std::string unsigned_;                           // why there is no signature, if none
};

// The list operators have now: --previous, else the output folder's list, else (with
// --out) the release folder's own.
std::optional<std::string> PreviousListFile(const Options& o, const OutputNames& names);

// Reads the previous list and the signature beside it. A list that is no update list is
// refused; a signature that is damaged, or states another list (its hash or size), makes
// the folder damaged: the list would be taken for what it is not.
Result<PreviousRelease> ReadPreviousRelease(const std::optional<std::string>& list);

// Whether the key in use signed the previous release; a release signed by another key (or
// a signature edited since) is refused, naming the key in use by its id.
Status SignedByKeyInUse(const PreviousRelease& previous, const platform::P256PublicKey& key,
                        const std::string& keyName);

} // namespace publish
