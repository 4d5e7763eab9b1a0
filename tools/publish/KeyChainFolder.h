// The key statements of a release folder (filelist.keys/1.txt, 2.txt, ...), as rotate,
// publish and verify read them.
#pragma once

#include "Result.h"
#include "release/KeyChain.h"

#include <optional>
#include <string>
#include <vector>

namespace publish {

struct FolderChain {
    std::vector<release::KeyStatement> statements; // numbered from 1, in order
};

// The folder's statements: numbered from 1 without a gap, each a statement within the size
// bound under its own number, each after the first signed as the one before allows (the
// first one's signer is the updaters' to judge: only they know their build-time keys).
// A statement signed by the wrong keys is refused; a chain not as rotate writes it is
// damaged.
Result<FolderChain> ReadFolderChain(const std::string& folder);

// Refused when the last statement names another key than key as the signer of releases,
// naming both keys by their ids. A folder without statements takes any key.
Status ChainNamesSigner(const FolderChain& chain, const std::string& keyName,
                        const platform::P256PublicKey& key);

// The key that signs the folder's releases for an updater built with the keys of builtIn:
// the release key after its statements are walked from there. Refused when a statement is
// not one that updater takes.
Result<platform::P256PublicKey> ChainedKey(const FolderChain& chain, const release::Trust& builtIn);

} // namespace publish
